#pragma once

#include "QtPrinters.h"
#include "core/WindowPort.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace tarvino::test {

/// A message box the logic showed.
struct ShownMessage {
    QString text;
    Icon icon;
    QString title;
};

/// The window port of the tests: records what the operator would see and answers
/// questions from a script. A question nobody scripted fails the test.
class RecordingWindow final : public WindowPort {
public:
    void message(const QString& text, Icon icon, const QString& title = {}) override;
    Answer question(const QString& text) override;
    void setStatus(Panel panel, const QString& text) override;
    QString status(Panel panel) const override;
    void setActionPane(const QString& text) override { actionPane = text; }
    void setErrorPane(const QString& text) override { errorPane = text; }
    void showProgress(double minimum, double maximum) override;
    void setProgress(double value) override { progressValue = value; }
    void hideProgress() override { progressVisible = false; }
    void selectTab(int index) override { tab = index; }
    int currentTab() const override { return tab; }
    void showPlan(const std::vector<PlanGridRow>& rows) override { plan = rows; }
    void markPlanRow(const QString& name, int stage) override;
    void setUpdateEnabled(bool enabled) override { updateEnabled = enabled; }
    void showFolderText(int, const QString&) override {}
    void startTransferTimer() override { transferTimerRunning = true; }
    void stopTransferTimer() override { transferTimerRunning = false; }
    void setTransferTime(const QString& text) override { transferTimeText = text; }
    QString transferTime() const { return transferTimeText; }
    void processEvents() override;

    /// Queues the answers of the next questions, in order.
    void answer(std::initializer_list<Answer> answers);
    /// Texts of the message boxes shown so far.
    QStringList messageTexts() const;

    std::vector<ShownMessage> messages;
    QStringList questions;
    std::deque<Answer> answers;
    std::map<Panel, QString> panels;
    /// Every text panel 1 showed, in order.
    QStringList actionHistory;
    QString actionPane;
    QString errorPane;
    bool progressVisible = false;
    double progressMaximum = 0;
    double progressValue = 0;
    int tab = 0;
    std::vector<PlanGridRow> plan;
    std::vector<std::pair<QString, int>> marks;
    std::optional<bool> updateEnabled;
    bool transferTimerRunning = false;
    QString transferTimeText;
    int eventRounds = 0;
    std::function<void()> onProcessEvents;
};

} // namespace tarvino::test
