#pragma once

#include "core/AppState.h"
#include "core/Context.h"
#include "core/WindowPort.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace tarvino {

class Dialogs;
class SettingsStore;

/// The tool's one window. It owns the state every operation shares, shows what
/// the operations report through the window port, and starts them from its
/// controls. Control names are the product's own.
///
/// No Q_OBJECT: every connection is made with function pointers, so moc never
/// has to read the names with diacritics.
class frmLiveUpdate final : public QMainWindow, public WindowPort {
public:
    frmLiveUpdate(platform::Platform& platform, SettingsStore& settings, Dialogs& dialogs);
    ~frmLiveUpdate() override;

    /// Start-up, run once before the window is first shown.
    void Form_Load();
    /// Ends the program at once, without the closing journal line.
    void cmdIzlaz_Click();

    AppState& state() { return m_state; }

    // WindowPort
    void message(const QString& text, Icon icon, const QString& title = {}) override;
    Answer question(const QString& text) override;
    void setStatus(Panel panel, const QString& text) override;
    QString status(Panel panel) const override;
    void setActionPane(const QString& text) override;
    void setErrorPane(const QString& text) override;
    void showProgress(double minimum, double maximum) override;
    void setProgress(double value) override;
    void hideProgress() override;
    void selectTab(int index) override;
    int currentTab() const override;
    void showPlan(const std::vector<PlanGridRow>& rows) override;
    void markPlanRow(const QString& name, int stage) override;
    void setUpdateEnabled(bool enabled) override;
    void showFolderText(int index, const QString& text) override;
    void startTransferTimer() override;
    void stopTransferTimer() override;
    void setTransferTime(const QString& text) override;
    void processEvents() override;

    // Controls, under the names the operators' documentation uses.
    QTabWidget* SSTab1 = nullptr;
    QGroupBox* fraLokacija = nullptr;
    QGroupBox* fraLokacijaProbno = nullptr;
    std::array<QRadioButton*, 3> optLokacija {};
    std::array<QRadioButton*, 3> optLokacijaProbna {};
    std::array<QLineEdit*, 3> txtLokacija {};
    std::array<QPushButton*, 3> cmdLokacija {};
    QLabel* lblInfo = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblVrijemePrijenosa = nullptr;
    QLabel* lblVrijemeDownloada = nullptr;
    QPushButton* cmdVerzija = nullptr;
    QPushButton* cmdDownloadAndUpdate = nullptr;
    QPushButton* cmdDownlNaLokaciju = nullptr;
    QPushButton* cmdProbnaAžuriranja = nullptr;
    QPushButton* cmdIzlaz = nullptr;
    QTableWidget* fgAžuriranja = nullptr;
    QPlainTextEdit* txtPor = nullptr;
    QPlainTextEdit* txtPorGr = nullptr;
    QSpinBox* numVrijemeDownloada = nullptr;
    QProgressBar* progBar = nullptr;
    std::array<QLabel*, 4> SBar {};
    QTimer* tmrUpdate = nullptr;
    QTimer* tmrPrijenos = nullptr;

    /// The caption given at design time; start-up appends the version.
    static const QString kDesignCaption;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void PostaviBoje(std::uint32_t colour);
    void showSources();
    void refreshClockPanels();

    void cmdVerzija_Click();
    void cmdDownloadAndUpdate_Click();
    void cmdProbnaAžuriranja_Click();
    void cmdDownlNaLokaciju_Click();
    void tmrUpdate_Timer();
    void tmrPrijenos_Timer();
    /// Runs an operation with the commands and source options unavailable, then a
    /// timed distribution that fell due meanwhile. Nothing starts while one runs.
    void runCommand(const std::function<void()>& operation);
    void setCommandsAvailable(bool available);
    void optLokacija_Click(int index);
    void optLokacijaProbna_Click(int index);
    void cmdLokacija_Click(int index);
    void txtLokacija_LostFocus(int index);
    void numVrijemeDownloada_Change(int value);

    AppState m_state;
    Context m_ctx;
    Dialogs& m_dialogs;

    double m_progressMinimum = 0;
    double m_progressMaximum = 0;
    bool m_checkingFolder = false;
    bool m_commandRunning = false;
    // The close box was used while a command ran.
    bool m_closeRequested = false;
    // What the last plan said of the update button; it applies again after a command.
    bool m_updateAvailable = true;
    QTimer* m_clockTimer = nullptr;
};

} // namespace tarvino
