#include "TestInstallation.h"
#include "XvfbDesktop.h"
#include "app/Dialogs.h"
#include "app/frmLiveUpdate.h"

#include <QtWidgets>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;

namespace {

std::string noDisplay;

/// The window's look on a real X display: the pixels as painted.
struct Screen : ::testing::Test {
    void SetUp() override
    {
        if (!noDisplay.empty())
            GTEST_SKIP() << "No display for the screen tests: " << noDisplay;
    }
};

/// The share of the pixels painted in `colour` where `control` lies in the window.
double shareIn(frmLiveUpdate& window, const QWidget* control, const QColor& colour)
{
    const QImage shot = window.grab(QRect(control->mapTo(&window, QPoint()), control->size())).toImage();
    int matching = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            matching += shot.pixelColor(x, y) == colour;
    return static_cast<double>(matching) / (shot.width() * shot.height());
}

} // namespace

TEST_F(Screen, TheWindowShowsTheDesignColourAndWholeHeaderTexts)
{
    TestInstallation inst;
    // Blue in the high byte.
    inst.settings->write(u"Settings"_s, u"BojaVelmora23"_s, QString::number(0x2080F0));
    const QColor colour(0xF0, 0x80, 0x20);
    QtDialogs dialogs;
    frmLiveUpdate window(inst.platform, *inst.settings, dialogs);
    window.Form_Load();
    window.show();

    for (const QRadioButton* option : window.optLokacija)
        EXPECT_GT(shareIn(window, option, colour), 0.5) << option->text().toStdString();
    for (int page : {0, 3, 4}) {
        window.SSTab1->setCurrentIndex(page);
        EXPECT_GT(shareIn(window, window.SSTab1->widget(page), colour), 0.3) << page;
    }
    // The trial frame keeps its own colours.
    EXPECT_EQ(shareIn(window, window.fraLokacijaProbno, colour), 0);

    const QHeaderView* header = window.fgAžuriranja->horizontalHeader();
    for (int c = 0; c < header->count(); ++c)
        EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;
}

TEST_F(Screen, QuestionBoxAnswersInCroatian)
{
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        for (const QAbstractButton* button : box->buttons())
            buttons << button->text();
        box->button(QMessageBox::No)->click();
    });
    QtDialogs dialogs;
    EXPECT_EQ(dialogs.question(nullptr, u"Nastaviti?"_s), Answer::No);
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({u"&Da"_s, u"&Ne"_s}));
}

// The window on an X display of its own, with Qt's texts in Croatian as the program has them.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    XvfbDesktop desktop;
    if (!desktop.open(noDisplay))
        return RUN_ALL_TESTS();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"TarvinoLiveUpdate23"_s);
    loadQtTranslation();
    return RUN_ALL_TESTS();
}
