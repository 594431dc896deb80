#include <QApplication>

#include <gtest/gtest.h>

// Every test program has a QApplication on the offscreen platform: window tests need no display.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarvinoLiveUpdate23"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
