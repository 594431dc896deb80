#include "app/ConsoleWindow.h"

#include <QCoreApplication>

#include <istream>
#include <ostream>
#include <string>


namespace tarvino {
namespace {

void writeLine(std::ostream& stream, const QString& text)
{
    stream << text.toLocal8Bit().constData() << std::endl;
}

std::optional<Answer> answerOf(const std::string& typed)
{
    const QString text = QString::fromLocal8Bit(typed).trimmed().toLower();
    if (text == QStringLiteral("da") || text == QStringLiteral("d") || text == QStringLiteral("y") ||
        text == QStringLiteral("yes"))
        return Answer::Yes;
    if (text == QStringLiteral("ne") || text == QStringLiteral("n") || text == QStringLiteral("no"))
        return Answer::No;
    return std::nullopt;
}

} // namespace

QString oneLine(const QString& text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

ConsoleWindow::ConsoleWindow(std::ostream& err, std::istream& in, bool terminal, std::optional<Answer> preset)
    : m_err(err), m_in(in), m_terminal(terminal), m_preset(preset)
{
}

void ConsoleWindow::message(const QString& text, Icon, const QString& title)
{
    ++m_boxesShown;
    writeLine(m_err, title.isEmpty() ? oneLine(text) : oneLine(title) + QStringLiteral(": ") + oneLine(text));
}

Answer ConsoleWindow::question(const QString& text)
{
    ++m_boxesShown;
    writeLine(m_err, oneLine(text));
    if (m_preset || !m_terminal) {
        if (m_answeredUnasked.contains(text) && m_onRepeat)
            m_onRepeat(text);
        m_answeredUnasked.insert(text);
    }
    // What the command line says wins: whoever wrote it has already answered.
    if (m_preset) {
        writeLine(m_err, *m_preset == Answer::Yes ? QStringLiteral("Odgovor: Da (--da)")
                                                  : QStringLiteral("Odgovor: Ne (--ne)"));
        return *m_preset;
    }
    if (!m_terminal) {
        writeLine(m_err, QStringLiteral("Odgovor: Ne (nije zadano --da ni --ne, a nema terminala)"));
        return Answer::No;
    }
    for (;;) {
        m_err << QStringLiteral("Odgovor (da/ne): ").toLocal8Bit().constData() << std::flush;
        std::string typed;
        if (!std::getline(m_in, typed)) {
            writeLine(m_err, QString());
            writeLine(m_err, QStringLiteral("Odgovor: Ne (kraj ulaza)"));
            return Answer::No;
        }
        if (const std::optional<Answer> answer = answerOf(typed))
            return *answer;
    }
}

void ConsoleWindow::setStatus(Panel panel, const QString& text)
{
    (panel == Panel::Action ? m_action : m_state) = text;
}

QString ConsoleWindow::status(Panel panel) const
{
    return panel == Panel::Action ? m_action : m_state;
}

void ConsoleWindow::showPlan(const std::vector<PlanGridRow>& rows)
{
    m_plan = rows;
    m_planShown = true;
}

void ConsoleWindow::processEvents()
{
    QCoreApplication::processEvents();
}

} // namespace tarvino
