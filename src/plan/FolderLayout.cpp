#include "plan/FolderLayout.h"

#include "core/Text.h"
#include "core/WindowServices.h"

#include <cmath>

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

double columnValue(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    double sign = 1;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        if (text[i] == QLatin1Char('-'))
            sign = -1;
        ++i;
    }
    double value = 0;
    bool fraction = false;
    double scale = 1;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            if (fraction) {
                scale /= 10;
                value += (c.unicode() - u'0') * scale;
            } else {
                value = value * 10 + (c.unicode() - u'0');
            }
        } else if (c == QLatin1Char('.') && !fraction) {
            fraction = true;
        } else {
            break;
        }
    }
    return sign * value;
}

std::int64_t columnBytes(const QString& text)
{
    return static_cast<std::int64_t>(std::llround(columnValue(text)));
}

} // namespace tarvino
