#pragma once

#include "QtPrinters.h"
#include "core/WindowPort.h"

#include <QMap>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace tarvino::test {

struct ShownMessage {
    QString text;
    Icon icon;
};

/// The window port of tests, fuzz target and benchmarks: records what the operator would see, answers from
/// a script (a question nobody scripted fails the test); the hooks run once a call is recorded.
class RecordingWindow : public WindowPort {
public:
    void message(const QString& text, Icon icon, const QString& = {}) override
    {
        messages.push_back({text, icon});
        if (onMessage)
            onMessage(text);
    }
    Answer question(const QString& text) override
    {
        questions << text;
        if (onQuestion)
            return onQuestion(text);
        if (!answers.isEmpty())
            return answers.takeFirst();
        ADD_FAILURE() << "Unexpected question: " << text.toStdString();
        return Answer::No;
    }
    void setStatus(Panel panel, const QString& text) override
    {
        panels[panel] = text;
        if (onStatus)
            onStatus(panel, text);
    }
    QString status(Panel panel) const override { return panels.value(panel); }
    void setActionPane(const QString&) override {}
    void setErrorPane(const QString& text) override { errorPane = text; }
    void showProgress(double, double) override
    {
        progressValue = 0;
        progressVisible = true;
    }
    void setProgress(double value) override { progressValue = value; }
    void hideProgress() override { progressVisible = false; }
    void selectTab(int index) override { tab = index; }
    int currentTab() const override { return tab; }
    void showPlan(const std::vector<PlanGridRow>& rows) override { plan = rows; }
    void markPlanRow(const QString& name, int stage) override { marks.emplace_back(name, stage); }
    void setUpdateEnabled(bool enabled) override { updateEnabled = enabled; }
    void showFolderText(int, const QString&) override {}
    void startTransferTimer() override { transferTimerRunning = true; }
    void stopTransferTimer() override { transferTimerRunning = false; }
    void setTransferTime(const QString& text) override { transferTimeText = text; }
    QString transferTime() const { return transferTimeText; }
    void processEvents() override
    {
        ++eventRounds;
        if (onProcessEvents)
            onProcessEvents();
    }

    void answer(std::initializer_list<Answer> list) { answers << QList<Answer>(list); }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto& m : messages)
            texts << m.text;
        return texts;
    }

    std::vector<ShownMessage> messages;
    QStringList questions;
    QList<Answer> answers;
    QMap<Panel, QString> panels;
    QString errorPane;
    bool progressVisible = false;
    double progressValue = 0;
    int tab = 0;
    std::vector<PlanGridRow> plan;
    std::vector<std::pair<QString, int>> marks;
    std::optional<bool> updateEnabled;
    bool transferTimerRunning = false;
    QString transferTimeText;
    int eventRounds = 0;
    std::function<void(const QString& text)> onMessage;
    /// Answers every question instead of the script.
    std::function<Answer(const QString& text)> onQuestion;
    std::function<void()> onProcessEvents;
    std::function<void(Panel panel, const QString& text)> onStatus;
};

} // namespace tarvino::test
