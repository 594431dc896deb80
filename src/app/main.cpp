#include "app/Dialogs.h"
#include "app/frmLiveUpdate.h"
#include "core/SettingsStore.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarvinoLiveUpdate23"));

    auto platform = tarvino::platform::createNativePlatform();
    auto settings = tarvino::SettingsStore::openUserStore();
    tarvino::QtDialogs dialogs;

    tarvino::frmLiveUpdate window(*platform, *settings, dialogs);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
