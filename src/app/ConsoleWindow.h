#pragma once

#include "core/WindowPort.h"

#include <QSet>

#include <functional>
#include <iosfwd>
#include <optional>

namespace tarvino {

/// The window port of a run without a window: boxes go to standard error, one
/// line each; questions are asked at the terminal, or answered as the command
/// line says, or with No.
class ConsoleWindow final : public WindowPort {
public:
    /// `preset` is the answer of `--da`/`--ne`; `terminal` whether `in` is one.
    ConsoleWindow(std::ostream& err, std::istream& in, bool terminal, std::optional<Answer> preset);

    void message(const QString& text, Icon icon, const QString& title = {}) override;
    Answer question(const QString& text) override;

    void setStatus(Panel panel, const QString& text) override;
    QString status(Panel panel) const override;

    void setActionPane(const QString&) override {}
    void setErrorPane(const QString&) override {}

    void showProgress(double, double) override {}
    void setProgress(double) override {}
    void hideProgress() override {}

    void selectTab(int index) override { m_tab = index; }
    int currentTab() const override { return m_tab; }

    void showPlan(const std::vector<PlanGridRow>& rows) override;
    void markPlanRow(const QString&, int) override {}
    void setUpdateEnabled(bool) override {}
    void showFolderText(int, const QString&) override {}

    void processEvents() override;

    /// The rows of the last plan shown; empty before any.
    const std::vector<PlanGridRow>& plan() const { return m_plan; }
    /// Whether a plan has been built.
    bool planShown() const { return m_planShown; }
    /// How many message boxes and questions went to standard error.
    int boxesShown() const { return m_boxesShown; }

    /// Called when a question answered without the operator comes again: the
    /// same answer may keep the logic asking it for ever. The run goes on with
    /// the usual answer when the handler returns.
    void setRepeatedQuestionHandler(std::function<void(const QString&)> handler) { m_onRepeat = std::move(handler); }

private:
    std::ostream& m_err;
    std::istream& m_in;
    bool m_terminal;
    std::optional<Answer> m_preset;
    QString m_action;
    QString m_state;
    int m_tab = 0;
    std::vector<PlanGridRow> m_plan;
    bool m_planShown = false;
    int m_boxesShown = 0;
    QSet<QString> m_answeredUnasked;
    std::function<void(const QString&)> m_onRepeat;
};

/// A box's text on one line: every line break becomes a blank.
QString oneLine(const QString& text);

} // namespace tarvino
