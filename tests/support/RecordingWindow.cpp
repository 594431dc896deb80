#include "RecordingWindow.h"

#include <gtest/gtest.h>

namespace tarvino::test {

void RecordingWindow::message(const QString& text, Icon icon, const QString& title)
{
    messages.push_back({text, icon, title});
}

Answer RecordingWindow::question(const QString& text)
{
    questions << text;
    if (answers.empty()) {
        ADD_FAILURE() << "Unexpected question: " << text.toStdString();
        return Answer::No;
    }
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

void RecordingWindow::setStatus(Panel panel, const QString& text)
{
    panels[panel] = text;
    if (panel == Panel::Action)
        actionHistory << text;
}

QString RecordingWindow::status(Panel panel) const
{
    auto it = panels.find(panel);
    return it == panels.end() ? QString() : it->second;
}

void RecordingWindow::showProgress(double, double maximum)
{
    progressMaximum = maximum;
    progressValue = 0;
    progressVisible = true;
}

void RecordingWindow::markPlanRow(const QString& name, int stage)
{
    marks.emplace_back(name, stage);
}

void RecordingWindow::processEvents()
{
    ++eventRounds;
    if (onProcessEvents)
        onProcessEvents();
}

void RecordingWindow::answer(std::initializer_list<Answer> list)
{
    answers.insert(answers.end(), list.begin(), list.end());
}

QStringList RecordingWindow::messageTexts() const
{
    QStringList texts;
    for (const auto& m : messages)
        texts << m.text;
    return texts;
}

} // namespace tarvino::test
