#pragma once

#include "core/WindowPort.h"

namespace tarvino::test {

/// Passes everything to another window port; a test derives from it and overrides
/// only what it watches.
class ForwardingWindow : public WindowPort {
public:
    explicit ForwardingWindow(WindowPort& inner) : m_inner(inner) {}

    void message(const QString& text, Icon icon, const QString& title = {}) override { m_inner.message(text, icon, title); }
    Answer question(const QString& text) override { return m_inner.question(text); }
    void setStatus(Panel panel, const QString& text) override { m_inner.setStatus(panel, text); }
    QString status(Panel panel) const override { return m_inner.status(panel); }
    void setActionPane(const QString& text) override { m_inner.setActionPane(text); }
    void setErrorPane(const QString& text) override { m_inner.setErrorPane(text); }
    void showProgress(double minimum, double maximum) override { m_inner.showProgress(minimum, maximum); }
    void setProgress(double value) override { m_inner.setProgress(value); }
    void hideProgress() override { m_inner.hideProgress(); }
    void selectTab(int index) override { m_inner.selectTab(index); }
    int currentTab() const override { return m_inner.currentTab(); }
    void showPlan(const std::vector<PlanGridRow>& rows) override { m_inner.showPlan(rows); }
    void markPlanRow(const QString& name, int stage) override { m_inner.markPlanRow(name, stage); }
    void setUpdateEnabled(bool enabled) override { m_inner.setUpdateEnabled(enabled); }
    void showFolderText(int index, const QString& text) override { m_inner.showFolderText(index, text); }
    void startTransferTimer() override { m_inner.startTransferTimer(); }
    void stopTransferTimer() override { m_inner.stopTransferTimer(); }
    void setTransferTime(const QString& text) override { m_inner.setTransferTime(text); }
    void processEvents() override { m_inner.processEvents(); }

private:
    WindowPort& m_inner;
};

} // namespace tarvino::test
