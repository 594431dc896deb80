#include "core/Journal.h"

#include "core/Text.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace tarvino {
namespace {

const QString kFailureHead = QStringLiteral("Desila se greška: ");
const QString kFailureWhere = QStringLiteral("u upisu u LOG. Greška: ");

// The locale's long time format names the time zone on some systems; the journal
// carries hours, minutes and seconds only.
QString longTimeFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

QString timestamp(const platform::LocalTime& now)
{
    const QLocale locale = QLocale::system();
    const QDate date(now.year, now.month, now.day);
    const QTime time(now.hour, now.minute, now.second);
    return locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(time, longTimeFormat(locale));
}

} // namespace

QString journalFolder(const AppState& state)
{
    return withSeparator(state.programFolder) + QStringLiteral("Update") + separator();
}

QString journalPath(const AppState& state)
{
    return journalFolder(state) + kJournalFile;
}

void LogirajGrešku(Context& ctx, const QString& message)
{
    // An Update folder that is a link leads elsewhere; the operation that finds it says so.
    if (ctx.files().isLink(native(journalFolder(ctx.state))))
        return;
    const QString entry = timestamp(ctx.clock().now()) + QLatin1Char(' ') + message + CRLF;
    bool opened = false;
    const platform::Outcome outcome =
        ctx.files().appendToFile(native(journalPath(ctx.state)), toAnsi(entry).toStdString(), &opened);
    if (outcome)
        return;
    if (!opened) {
        ctx.window.message(kFailureHead + kFailureWhere + QString::number(outcome.code) + QLatin1Char(' ') +
                               fromNative(outcome.description),
                           Icon::Exclamation);
    } else {
        ctx.window.message(kFailureHead + kFailureWhere + fromNative(outcome.description), Icon::Exclamation);
    }
}

void StatusAkcija(Context& ctx, const QString& text)
{
    ctx.window.setStatus(Panel::Action, text);
}

void StatusStanje(Context& ctx, const QString& text)
{
    ctx.window.setStatus(Panel::State, text);
}

void appendLine(QString& collection, const QString& line)
{
    collection += CRLF + line;
}

void showCollectedMessages(Context& ctx)
{
    ctx.window.setActionPane(ctx.state.actionMessages);
    ctx.window.setErrorPane(ctx.state.errorMessages);
}

} // namespace tarvino
