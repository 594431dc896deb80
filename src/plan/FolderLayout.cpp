#include "plan/FolderLayout.h"

#include "core/Text.h"
#include "core/WindowServices.h"

namespace tarvino {

QString installationFolder(Context& ctx)
{
    return ImeRačunala(ctx) == kFixedInstallComputer ? kFixedInstallFolder : withSeparator(ctx.state.programFolder);
}

void IzvediDirektorije(Context& ctx)
{
    AppState& s = ctx.state;
    s.installFolder = installationFolder(ctx);
    const QString sep = separator();
    s.updateFolder = s.installFolder + QStringLiteral("Update") + sep;
    s.backupFolder = s.installFolder + QStringLiteral("UpdateBackup") + sep;
    s.scriptsFolder = s.installFolder + QStringLiteral("Skrite za izmjenu baze") + sep;
    const auto winDir = ctx.platform.system().environment("WinDir");
    if (winDir && !winDir->empty())
        s.helpFolder = fromNative(*winDir) + sep + QStringLiteral("Help") + sep;
    else
        s.helpFolder = s.installFolder + QStringLiteral("Help") + sep;
}

QString linkedFolderMessage(Context& ctx, std::initializer_list<QString> folders)
{
    for (const QString& folder : folders) {
        if (ctx.files().isLink(native(folder)))
            return QStringLiteral("Direktorija ") + folder +
                   QStringLiteral(
                       " je link (poveznica) na drugo mjesto, a program ne piše kroz linkove. Uklonite "
                       "link i pokušajte ponovno. Prekida se ažuriranje!");
    }
    return {};
}

QString packedName(const QString& fileName)
{
    QString name = fileName.left(std::max<qsizetype>(0, fileName.size() - 3)) + QStringLiteral("7z");
    name.replace(QChar(u'č'), QChar(u'c'));
    name.replace(QChar(u'ž'), QChar(u'z'));
    return name;
}

QString extensionOf(const QString& fileName)
{
    return fileName.right(3);
}

} // namespace tarvino
