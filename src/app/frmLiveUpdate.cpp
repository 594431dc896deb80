#include "app/frmLiveUpdate.h"

#include "app/Commands.h"
#include "app/Dialogs.h"
#include "app/PlanGrid.h"
#include "app/StartUp.h"
#include "app/Version.h"
#include "core/Journal.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "core/UpdateSources.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvino {

const QString frmLiveUpdate::kDesignCaption = QStringLiteral("Tarvino Live Update - Automatsko ažuriranje Tarvino programa");

namespace {

const QString kInfoText = QStringLiteral("Ukoliko ažuriranje ne ide sa jedne web adrese, koristite drugu");
const QString kClosingLine =
    QStringLiteral("*************************** KRAJ PROGRAMA **********************************");
const QString kClosingAfterOperation =
    QStringLiteral("Operacija je u tijeku. Program će se zatvoriti čim ona završi.");

// The progress bar works in whole steps; a release can exceed an int's range in bytes.
constexpr int kProgressSteps = 10000;

QColor fromStoredColour(std::uint32_t colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

void setBackground(QWidget* widget, const QColor& colour, QPalette::ColorRole role = QPalette::Window)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Marks the frame's own colours as set, so that the window's colour does not flow into
// it, and paints them, so that the coloured page under it does not show through.
void keepOwnColours(QWidget* widget)
{
    QPalette palette = QApplication::palette(widget);
    palette.setColor(QPalette::Window, palette.color(QPalette::Window));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Switching to another program, or the box's own menu opening, does not leave the box.
bool movesToAnotherControl(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

frmLiveUpdate::frmLiveUpdate(platform::Platform& platform, SettingsStore& settings, Dialogs& dialogs)
    : m_ctx {m_state, *this, platform, settings}, m_dialogs(dialogs)
{
    m_state.programFolder = fromNative(platform.system().programFolder());
    buildControls();
    connectControls();
    refreshClockPanels();
}

frmLiveUpdate::~frmLiveUpdate() = default;

void frmLiveUpdate::buildControls()
{
    setWindowTitle(kDesignCaption);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);

    // Source of new versions, beside the tabs.
    fraLokacija = new QGroupBox(QStringLiteral("Lokacija ažuriranja - novih verzija"), central);
    auto* sourceLayout = new QGridLayout(fraLokacija);
    for (int i = 0; i < 3; ++i)
        optLokacija[i] = new QRadioButton(fraLokacija);
    txtLokacija[RegularFolderBox] = new QLineEdit(fraLokacija);
    cmdLokacija[RegularFolderBox] = new QPushButton(QStringLiteral("..."), fraLokacija);
    lblInfo = new QLabel(kInfoText, fraLokacija);
    sourceLayout->addWidget(optLokacija[PrimaryServer], 0, 0, 1, 2);
    sourceLayout->addWidget(optLokacija[SecondaryServer], 1, 0, 1, 2);
    sourceLayout->addWidget(optLokacija[NetworkFolder], 2, 0, 1, 2);
    sourceLayout->addWidget(txtLokacija[RegularFolderBox], 3, 0);
    sourceLayout->addWidget(cmdLokacija[RegularFolderBox], 3, 1);
    sourceLayout->addWidget(lblInfo, 4, 0, 1, 2);
    optLokacija[PrimaryServer]->setChecked(true);
    layout->addWidget(fraLokacija);

    cmdVerzija = new QPushButton(QStringLiteral("Provjeri postoje li nove verzije i pripremi za download/prijenos"), central);
    layout->addWidget(cmdVerzija);

    SSTab1 = new QTabWidget(central);
    layout->addWidget(SSTab1, 1);

    // Tab 0: the plan.
    auto* tabPlan = new QWidget;
    auto* planLayout = new QVBoxLayout(tabPlan);
    cmdDownloadAndUpdate = new QPushButton(QStringLiteral("Download programa i instalacija"), tabPlan);
    fgAžuriranja = new QTableWidget(tabPlan);
    plangrid::prepare(fgAžuriranja);
    planLayout->addWidget(cmdDownloadAndUpdate);
    planLayout->addWidget(fgAžuriranja, 1);
    SSTab1->addTab(tabPlan, QStringLiteral("&Potrebna &ažuriranja"));

    // Tabs 1 and 2: the collected messages.
    txtPor = new QPlainTextEdit;
    txtPor->setReadOnly(true);
    SSTab1->addTab(txtPor, QStringLiteral("Poruke o &akcijama"));
    txtPorGr = new QPlainTextEdit;
    txtPorGr->setReadOnly(true);
    SSTab1->addTab(txtPorGr, QStringLiteral("Poruke o &greškama"));

    // Tab 3: distribution to a folder.
    auto* tabCopy = new QWidget;
    auto* copyLayout = new QGridLayout(tabCopy);
    Label1 = new QLabel(QStringLiteral("Lokacija za presnimavanje novih programa i komponenti radi distribucije u mreži "
                                       "(prvo treba ažurirati lokalno računalo)"),
                        tabCopy);
    Label1->setWordWrap(true);
    txtLokacija[DistributionFolderBox] = new QLineEdit(tabCopy);
    cmdLokacija[DistributionFolderBox] = new QPushButton(QStringLiteral("..."), tabCopy);
    cmdDownlNaLokaciju = new QPushButton(QStringLiteral("Presnimavanje datoteka na unesenu lokaciju"), tabCopy);
    lblVrijemePrijenosa = new QLabel(tabCopy);
    lblVrijemeDownloada = new QLabel(QStringLiteral("Vrijeme automatskog preuzimanja novih verzija svakih n sati "
                                                    "(0-23) 0-ne preuzimati automatski:"),
                                     tabCopy);
    lblVrijemeDownloada->setWordWrap(true);
    numVrijemeDownloada = new QSpinBox(tabCopy);
    numVrijemeDownloada->setRange(0, 23);
    copyLayout->addWidget(Label1, 0, 0, 1, 2);
    copyLayout->addWidget(txtLokacija[DistributionFolderBox], 1, 0);
    copyLayout->addWidget(cmdLokacija[DistributionFolderBox], 1, 1);
    copyLayout->addWidget(cmdDownlNaLokaciju, 2, 0, 1, 2);
    copyLayout->addWidget(lblVrijemePrijenosa, 3, 0, 1, 2);
    copyLayout->addWidget(lblVrijemeDownloada, 4, 0);
    copyLayout->addWidget(numVrijemeDownloada, 4, 1);
    copyLayout->setRowStretch(5, 1);
    SSTab1->addTab(tabCopy, QStringLiteral("Kopiranje novih (svih) programa na disk/mrežnu lokaciju"));

    // Tab 4: the trial channel.
    auto* tabTrial = new QWidget;
    auto* trialLayout = new QVBoxLayout(tabTrial);
    cmdProbnaAžuriranja = new QPushButton(QStringLiteral("Download programa i instalacija probne verzije programa"), tabTrial);
    fraLokacijaProbno = new QGroupBox(QStringLiteral("Lokacija ažuriranja - novih verzija - probna ažuriranja"), tabTrial);
    auto* trialSourceLayout = new QGridLayout(fraLokacijaProbno);
    for (int i = 0; i < 3; ++i)
        optLokacijaProbna[i] = new QRadioButton(fraLokacijaProbno);
    txtLokacija[TrialFolderBox] = new QLineEdit(fraLokacijaProbno);
    cmdLokacija[TrialFolderBox] = new QPushButton(QStringLiteral("..."), fraLokacijaProbno);
    Label2 = new QLabel(kInfoText, fraLokacijaProbno);
    trialSourceLayout->addWidget(optLokacijaProbna[PrimaryServer], 0, 0, 1, 2);
    trialSourceLayout->addWidget(optLokacijaProbna[SecondaryServer], 1, 0, 1, 2);
    trialSourceLayout->addWidget(optLokacijaProbna[NetworkFolder], 2, 0, 1, 2);
    trialSourceLayout->addWidget(txtLokacija[TrialFolderBox], 3, 0);
    trialSourceLayout->addWidget(cmdLokacija[TrialFolderBox], 3, 1);
    trialSourceLayout->addWidget(Label2, 4, 0, 1, 2);
    optLokacijaProbna[PrimaryServer]->setChecked(true);
    keepOwnColours(fraLokacijaProbno);
    trialLayout->addWidget(cmdProbnaAžuriranja);
    trialLayout->addWidget(fraLokacijaProbno);
    trialLayout->addStretch(1);
    SSTab1->addTab(tabTrial, QStringLiteral("Probno ažuriranje programa"));

    cmdIzlaz = new QPushButton(QStringLiteral("Izlaz"), central);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdIzlaz);
    layout->addLayout(bottom);

    // Covers the check button while a transfer runs; hidden otherwise.
    progBar = new QProgressBar(central);
    progBar->setRange(0, kProgressSteps);
    progBar->setTextVisible(false);
    progBar->hide();

    static const char* const kTips[] = {"Trenutna akcija", "Trenutno stanje", "Datum", "Vrijeme"};
    for (int i = 0; i < 4; ++i) {
        SBar[i] = new QLabel(this);
        SBar[i]->setToolTip(QString::fromUtf8(kTips[i]));
        statusBar()->addWidget(SBar[i], i < 2 ? 3 : 1);
    }

    tmrUpdate = new QTimer(this);
    tmrUpdate->setInterval(60000);
    tmrUpdate->start();
    tmrPrijenos = new QTimer(this);
    tmrPrijenos->setInterval(500);
    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    m_clockTimer->start();

    for (QLineEdit* box : txtLokacija)
        box->installEventFilter(this);
    resize(900, 640);
}

void frmLiveUpdate::connectControls()
{
    for (int i = 0; i < 3; ++i) {
        connect(optLokacija[i], &QRadioButton::clicked, this, [this, i] { optLokacija_Click(i); });
        connect(optLokacijaProbna[i], &QRadioButton::clicked, this, [this, i] { optLokacijaProbna_Click(i); });
        connect(cmdLokacija[i], &QPushButton::clicked, this, [this, i] { cmdLokacija_Click(i); });
        connect(txtLokacija[i], &QLineEdit::textEdited, this,
                [this, i](const QString& text) { m_state.sources.folders[i] = text; });
    }
    connect(numVrijemeDownloada, &QSpinBox::valueChanged, this, &frmLiveUpdate::numVrijemeDownloada_Change);
    connect(cmdVerzija, &QPushButton::clicked, this, &frmLiveUpdate::cmdVerzija_Click);
    connect(cmdDownloadAndUpdate, &QPushButton::clicked, this, &frmLiveUpdate::cmdDownloadAndUpdate_Click);
    connect(cmdProbnaAžuriranja, &QPushButton::clicked, this, &frmLiveUpdate::cmdProbnaAžuriranja_Click);
    connect(cmdDownlNaLokaciju, &QPushButton::clicked, this, &frmLiveUpdate::cmdDownlNaLokaciju_Click);
    connect(tmrUpdate, &QTimer::timeout, this, &frmLiveUpdate::tmrUpdate_Timer);
    connect(tmrPrijenos, &QTimer::timeout, this, &frmLiveUpdate::tmrPrijenos_Timer);
    connect(cmdIzlaz, &QPushButton::clicked, this, &frmLiveUpdate::cmdIzlaz_Click);
    connect(m_clockTimer, &QTimer::timeout, this, &frmLiveUpdate::refreshClockPanels);
}

void frmLiveUpdate::Form_Load()
{
    m_state.startingUp = true;
    setWindowTitle(kDesignCaption + QStringLiteral(" V") + QString::number(version::Major) + QLatin1Char('.') +
                   QString::number(version::Minor) + QLatin1Char('.') + QString::number(version::Revision));
    SSTab1->setCurrentIndex(0);
    PostaviBoje(UčitajBoju(m_ctx.settings));
    m_state.trialRun = false;
    ProvjeraPrava(m_ctx);
    recoverAtStartUp(m_ctx);
    UčitajPostavke(m_ctx, [this] {
        showSources();
        optLokacija_Click(m_state.sources.regularOption);
    });
    showSources();
    m_state.startingUp = false;
}

void frmLiveUpdate::PostaviBoje(std::uint32_t colour)
{
    const QColor background = fromStoredColour(colour);
    setBackground(this, background);
    for (QRadioButton* option : optLokacija) {
        // A radio button fills itself with the button colour unless told otherwise.
        option->setBackgroundRole(QPalette::Window);
        setBackground(option, background);
    }
    setBackground(SSTab1, background);
    // The pages cover the tab control; the message panes keep the white of text.
    for (int i = 0; i < SSTab1->count(); ++i) {
        QWidget* page = SSTab1->widget(i);
        if (page != txtPor && page != txtPorGr)
            setBackground(page, background);
    }
    setBackground(fraLokacija, background);
    setBackground(fgAžuriranja, background, QPalette::Base);
    setBackground(lblInfo, background);
}

// The controls follow the state after it was loaded or changed by an operation.
void frmLiveUpdate::showSources()
{
    const SourceSettings& s = m_state.sources;
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker blockRegular(optLokacija[i]);
        const QSignalBlocker blockTrial(optLokacijaProbna[i]);
        optLokacija[i]->setText(sourceOptionCaption(s, Channel::Regular, i));
        optLokacijaProbna[i]->setText(sourceOptionCaption(s, Channel::Trial, i));
        optLokacija[i]->setChecked(s.regularOption == i);
        optLokacijaProbna[i]->setChecked(s.trialOption == i);
        txtLokacija[i]->setText(s.folders[i]);
    }
    const QSignalBlocker blockHours(numVrijemeDownloada);
    numVrijemeDownloada->setValue(s.hourStep);
}

void frmLiveUpdate::refreshClockPanels()
{
    const platform::LocalTime now = m_ctx.clock().now();
    const QLocale locale = QLocale::system();
    SBar[2]->setText(locale.toString(QDate(now.year, now.month, now.day), QLocale::ShortFormat));
    SBar[3]->setText(locale.toString(QTime(now.hour, now.minute, now.second), QLocale::ShortFormat));
}

void frmLiveUpdate::closeEvent(QCloseEvent* event)
{
    // Closing in the middle of an installation would leave it half done: the
    // window closes when the command ends.
    if (m_commandRunning) {
        event->ignore();
        if (!m_closeRequested) {
            m_closeRequested = true;
            m_dialogs.notice(this, kClosingAfterOperation);
        }
        return;
    }
    LogirajGrešku(m_ctx, kClosingLine);
    event->accept();
}

void frmLiveUpdate::cmdIzlaz_Click()
{
    m_ctx.platform.system().endProgram(0);
}

bool frmLiveUpdate::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut &&
        movesToAnotherControl(static_cast<QFocusEvent*>(event)->reason())) {
        for (int i = 0; i < 3; ++i) {
            if (watched == txtLokacija[i])
                txtLokacija_LostFocus(i);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmLiveUpdate::runCommand(const std::function<void()>& operation)
{
    if (m_commandRunning)
        return;
    m_commandRunning = true;
    setCommandsAvailable(false);
    operation();
    tarvino::runPendingDistribution(m_ctx);
    setCommandsAvailable(true);
    m_commandRunning = false;
    if (m_closeRequested)
        close();
}

void frmLiveUpdate::setCommandsAvailable(bool available)
{
    // The exit button too: ending the program mid-installation would leave it half done.
    for (QPushButton* command : {cmdVerzija, cmdDownlNaLokaciju, cmdProbnaAžuriranja, cmdIzlaz})
        command->setEnabled(available);
    cmdDownloadAndUpdate->setEnabled(available && m_updateAvailable);
    fraLokacija->setEnabled(available);
    fraLokacijaProbno->setEnabled(available);
}

void frmLiveUpdate::cmdVerzija_Click()
{
    runCommand([this] { tarvino::cmdVerzija_Click(m_ctx); });
}

void frmLiveUpdate::cmdDownloadAndUpdate_Click()
{
    runCommand([this] { tarvino::cmdDownloadAndUpdate_Click(m_ctx); });
}

void frmLiveUpdate::cmdProbnaAžuriranja_Click()
{
    runCommand([this] { tarvino::cmdProbnaAžuriranja_Click(m_ctx); });
}

void frmLiveUpdate::cmdDownlNaLokaciju_Click()
{
    runCommand([this] { tarvino::cmdDownlNaLokaciju_Click(m_ctx); });
}

void frmLiveUpdate::tmrUpdate_Timer()
{
    if (m_commandRunning) {
        // Kept for the end of the running command.
        tarvino::tmrUpdate_Timer(m_ctx);
        return;
    }
    runCommand([this] { tarvino::tmrUpdate_Timer(m_ctx); });
}

void frmLiveUpdate::tmrPrijenos_Timer()
{
    tarvino::tmrPrijenos_Timer(m_ctx);
}

void frmLiveUpdate::optLokacija_Click(int index)
{
    bool started = false;
    runCommand([&] { started = tarvino::optLokacija_Click(m_ctx, index); });
    // Held off while another operation runs: the option shown goes back to the one in use.
    if (!started)
        showSources();
}

void frmLiveUpdate::optLokacijaProbna_Click(int index)
{
    m_state.sources.trialOption = index;
    SnimiPostavke(m_ctx);
}

void frmLiveUpdate::cmdLokacija_Click(int index)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Izaberite uređaj i direktoriju gdje se nalaze novi Tarvino programi");
    request.filter = QStringLiteral("Verzije (*.txt)");
    request.defaultSuffix = QStringLiteral("txt");
    request.initialFile = QStringLiteral("Verzije.txt");
    request.initialFolder = m_state.sources.folders[index];
    const std::optional<QString> chosen = m_dialogs.openFile(this, request);
    if (!chosen)
        return;
    const QString path = QDir::toNativeSeparators(*chosen);
    const QString folder = path.left(path.lastIndexOf(separator()) + 1);
    m_state.sources.folders[index] = folder;
    txtLokacija[index]->setText(folder);
    SnimiPostavke(m_ctx);
}

void frmLiveUpdate::txtLokacija_LostFocus(int index)
{
    // The box below can take the focus away again; one check at a time.
    if (m_checkingFolder)
        return;
    m_checkingFolder = true;
    const QString text = m_state.sources.folders[index];
    if (m_ctx.files().folderExists(native(text))) {
        SnimiPostavke(m_ctx);
    } else {
        message(QStringLiteral("Ne postoji direktorija: ") + text + QStringLiteral(" Postavite je!"), Icon::Exclamation);
        cmdLokacija_Click(index);
    }
    m_checkingFolder = false;
}

void frmLiveUpdate::numVrijemeDownloada_Change(int value)
{
    SnimiSateAutomatskogPreuzimanja(m_ctx, value);
}

// ---- WindowPort ----

void frmLiveUpdate::message(const QString& text, Icon icon, const QString& title)
{
    m_dialogs.message(this, text, icon, title);
}

Answer frmLiveUpdate::question(const QString& text)
{
    return m_dialogs.question(this, text);
}

void frmLiveUpdate::setStatus(Panel panel, const QString& text)
{
    QLabel* label = SBar[panel == Panel::Action ? 0 : 1];
    label->setText(text);
    label->repaint();
}

QString frmLiveUpdate::status(Panel panel) const
{
    return SBar[panel == Panel::Action ? 0 : 1]->text();
}

void frmLiveUpdate::setActionPane(const QString& text)
{
    txtPor->setPlainText(text);
    txtPor->repaint();
}

void frmLiveUpdate::setErrorPane(const QString& text)
{
    txtPorGr->setPlainText(text);
    txtPorGr->repaint();
}

void frmLiveUpdate::showProgress(double minimum, double maximum)
{
    m_progressMinimum = minimum;
    m_progressMaximum = maximum;
    progBar->setGeometry(cmdVerzija->geometry());
    setProgress(0);
    progBar->show();
    progBar->raise();
}

void frmLiveUpdate::setProgress(double value)
{
    const double span = m_progressMaximum - m_progressMinimum;
    const double share = span > 0 ? (value - m_progressMinimum) / span : 0;
    progBar->setValue(static_cast<int>(std::clamp(share, 0.0, 1.0) * kProgressSteps));
}

void frmLiveUpdate::hideProgress()
{
    progBar->hide();
}

void frmLiveUpdate::selectTab(int index)
{
    SSTab1->setCurrentIndex(index);
}

int frmLiveUpdate::currentTab() const
{
    return SSTab1->currentIndex();
}

void frmLiveUpdate::showPlan(const std::vector<PlanGridRow>& rows)
{
    plangrid::fill(fgAžuriranja, rows);
}

void frmLiveUpdate::markPlanRow(const QString& name, int stage)
{
    plangrid::mark(fgAžuriranja, name, stage);
}

void frmLiveUpdate::setUpdateEnabled(bool enabled)
{
    m_updateAvailable = enabled;
    cmdDownloadAndUpdate->setEnabled(enabled && !m_commandRunning);
}

void frmLiveUpdate::startTransferTimer()
{
    tmrPrijenos->start();
}

void frmLiveUpdate::stopTransferTimer()
{
    if (!tmrPrijenos->isActive())
        return;
    tmrPrijenos->stop();
    // The summary names the time: it covers the whole copy, not the last tick.
    tarvino::tmrPrijenos_Timer(m_ctx);
}

void frmLiveUpdate::setTransferTime(const QString& text)
{
    lblVrijemePrijenosa->setText(text);
}

void frmLiveUpdate::showFolderText(int index, const QString& text)
{
    m_state.sources.folders[index] = text;
    txtLokacija[index]->setText(text);
}

void frmLiveUpdate::processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tarvino
