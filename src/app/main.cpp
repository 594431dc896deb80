#include "app/ConsoleWindow.h"
#include "app/Dialogs.h"
#include "app/Unattended.h"
#include "app/frmLiveUpdate.h"
#include "core/SettingsStore.h"

#include <QApplication>
#include <QCoreApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    // With arguments the program runs without a window, so that it needs no display.
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("TarvinoLiveUpdate23"));
        tarvino::platform::attachParentConsole();
        auto platform = tarvino::platform::createNativePlatform();
        auto settings = tarvino::SettingsStore::openUserStore();
        const tarvino::ConsoleStreams console {std::cout, std::cerr, std::cin,
                                               tarvino::platform::stdinIsTerminal()};
        return tarvino::runUnattended(QCoreApplication::arguments().mid(1), *platform, *settings, console);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarvinoLiveUpdate23"));
    tarvino::loadQtTranslation();

    auto platform = tarvino::platform::createNativePlatform();
    auto settings = tarvino::SettingsStore::openUserStore();
    tarvino::QtDialogs dialogs;

    tarvino::frmLiveUpdate window(*platform, *settings, dialogs);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
