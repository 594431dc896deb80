#pragma once

#include <QString>

#include <vector>

namespace tarvino {

enum class Icon { Exclamation, Critical, Information, None };
enum class Answer { Yes, No };

/// Status-bar panels the logic writes (the date and the clock keep themselves).
enum class Panel { Action = 1, State = 2 };

/// One data row of the plan grid.
struct PlanGridRow {
    QString name;
    QString verGl;
    QString verPom;
    QString verRev;
    QString packedSize;
    QString realSize;
};

/// Everything the operator sees and answers. The logic never touches a widget:
/// the Qt window implements this, tests use a recording fake.
class WindowPort {
public:
    virtual ~WindowPort() = default;

    /// A modal box with an OK button; an empty title means the application's own.
    virtual void message(const QString& text, Icon icon, const QString& title = {}) = 0;
    /// A modal Yes/No question with the question icon, Yes the default.
    virtual Answer question(const QString& text) = 0;

    virtual void setStatus(Panel panel, const QString& text) = 0;
    virtual QString status(Panel panel) const = 0;

    /// `txtPor` and `txtPorGr`, repainted at once.
    virtual void setActionPane(const QString& text) = 0;
    virtual void setErrorPane(const QString& text) = 0;

    /// Places the progress bar over the check button with value 0 and shows it.
    virtual void showProgress(double minimum, double maximum) = 0;
    virtual void setProgress(double value) = 0;
    virtual void hideProgress() = 0;

    virtual void selectTab(int index) = 0;
    virtual int currentTab() const = 0;

    /// Fills the plan grid: header, the total row and one row per planned item.
    virtual void showPlan(const std::vector<PlanGridRow>& rows) = 0;
    /// Sets the stage picture and fill of the first row named `name`; no such row, no change.
    virtual void markPlanRow(const QString& name, int stage) = 0;
    virtual void setUpdateEnabled(bool enabled) = 0;

    /// An operation changed the text of a folder box (`txtLokacija`).
    virtual void showFolderText(int index, const QString& text) = 0;

    /// `tmrPrijenos`, which keeps the transfer-time label `lblVrijemePrijenosa` up
    /// to date while a distribution runs. Only the window has them; a port without
    /// them does nothing.
    virtual void startTransferTimer() {}
    virtual void stopTransferTimer() {}
    virtual void setTransferTime(const QString& text) { (void)text; }

    /// Lets the window handle its pending events once.
    virtual void processEvents() = 0;
};

} // namespace tarvino
