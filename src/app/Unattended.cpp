#include "app/Unattended.h"

#include "app/Commands.h"
#include "app/ConsoleWindow.h"
#include "app/StartUp.h"
#include "app/Version.h"
#include "core/Journal.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "plan/ExclusiveRun.h"
#include "plan/ManifestRow.h"
#include "platform/Platform.h"
#include "transfer/ManifestPreparation.h"

#include <QMap>

#include <cstdlib>
#include <ostream>

namespace tarvino {
namespace {

const QString kProgram = QStringLiteral("TarvinoLiveUpdate23");
const QString kRunningProgramsQuestion = QStringLiteral("Postoje pokrenuti programi:");

void writeLine(std::ostream& stream, const QString& text)
{
    stream << text.toLocal8Bit().constData() << std::endl;
}

QString versionText()
{
    return QString::number(version::Major) + QLatin1Char('.') + QString::number(version::Minor) + QLatin1Char('.') +
           QString::number(version::Revision);
}

// Installation and distribution end the program at once when they cannot make a
// folder they need. The window's users see the box; a scheduler sees only the
// status, which must then not say "done".
class EndsAsFailure final : public platform::SystemInfo {
public:
    explicit EndsAsFailure(platform::SystemInfo& inner) : m_inner(inner) {}
    std::optional<std::string> computerName() const override { return m_inner.computerName(); }
    std::optional<std::string> environment(const std::string& name) const override
    {
        return m_inner.environment(name);
    }
    std::string programFolder() const override { return m_inner.programFolder(); }
    [[noreturn]] void endProgram(int exitCode) override
    {
        m_inner.endProgram(exitCode == 0 ? ExitFailed : exitCode);
        std::abort();
    }

private:
    platform::SystemInfo& m_inner;
};

class UnattendedPlatform final : public platform::Platform {
public:
    explicit UnattendedPlatform(platform::Platform& inner) : m_inner(inner), m_system(inner.system()) {}
    platform::Clock& clock() override { return m_inner.clock(); }
    platform::FileSystem& files() override { return m_inner.files(); }
    platform::Processes& processes() override { return m_inner.processes(); }
    platform::WindowManager& windows() override { return m_inner.windows(); }
    platform::Registry& registry() override { return m_inner.registry(); }
    platform::SystemInfo& system() override { return m_system; }

private:
    platform::Platform& m_inner;
    EndsAsFailure m_system;
};

// The window's start-up without the window: flags, write probe, settings. A
// remembered source is not "clicked": the operation prepares its own manifest.
void startUp(Context& ctx)
{
    AppState& s = ctx.state;
    s.startingUp = true;
    s.trialRun = false;
    ProvjeraPrava(ctx);
    recoverAtStartUp(ctx);
    UčitajPostavke(ctx);
    s.startingUp = false;
}

void printPlan(std::ostream& out, const std::vector<PlanGridRow>& rows)
{
    const QStringList header {QStringLiteral("Ime programa/komponente"), QStringLiteral("Ver_Gl"),
                              QStringLiteral("Ver_Pom"),                 QStringLiteral("Ver_Rev"),
                              QStringLiteral("VeličinaDownload"),        QStringLiteral("StvarnaVeličina")};
    QList<QStringList> table {header};
    std::int64_t packed = 0;
    std::int64_t real = 0;
    for (const PlanGridRow& row : rows) {
        table.append({row.name, row.verGl, row.verPom, row.verRev, QString::number(columnBytes(row.packedSize)),
                      QString::number(columnBytes(row.realSize))});
        packed += columnBytes(row.packedSize);
        real += columnBytes(row.realSize);
    }
    table.append({QStringLiteral("UKUPNO:"), QString(), QString(), QString(), QString::number(packed),
                  QString::number(real)});

    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& line : table) {
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    }
    for (const QStringList& line : table) {
        QString text = line[0].leftJustified(widths[0]);
        for (qsizetype c = 1; c < line.size(); ++c)
            text += QStringLiteral("  ") + line[c].rightJustified(widths[c]);
        writeLine(out, text.trimmed());
    }
}

// A failure never ends in silence: when no box or answer said why, the last message does.
int failed(const ConsoleWindow& window, const Context& ctx, std::ostream& err)
{
    if (window.boxesShown() == 0) {
        writeLine(err, ctx.state.currentMessage.isEmpty()
                           ? QStringLiteral("Greška; pojedinosti su u dnevniku ") + journalPath(ctx.state)
                           : oneLine(ctx.state.currentMessage));
    }
    return ExitFailed;
}

// After a preparation that did not plan anything: a plan was built and is empty,
// or the preparation failed before it.
int notPlanned(const ConsoleWindow& window, const Context& ctx, std::ostream& out, std::ostream& err)
{
    if (!window.planShown())
        return failed(window, ctx, err);
    writeLine(out, ctx.window.status(Panel::Action));
    return ExitNothingNew;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Upotreba: TarvinoLiveUpdate23 --provjera | --azuriranje | --probno-azuriranje | --distribucija [--da | --ne]\n"
        "          TarvinoLiveUpdate23 --help | --version\n"
        "Bez argumenata otvara se prozor programa.\n"
        "  --provjera           provjera novih verzija; plan ažuriranja ispisuje se kao tablica\n"
        "  --azuriranje         download i instalacija novih verzija\n"
        "  --probno-azuriranje  download i instalacija probne verzije\n"
        "  --distribucija       presnimavanje datoteka na lokaciju za distribuciju u mreži\n"
        "  --da, --ne           odgovor na sva pitanja; bez njih se pita na terminalu, a bez terminala odgovor je Ne\n"
        "  --help               ova pomoć\n"
        "  --version            verzija programa\n"
        "Izlazni status: 0 gotovo, 1 greška, 2 pogrešni argumenti, 3 nema novih verzija,\n"
        "                4 na instalaciji već radi druga operacija (prozor ili drugo pokretanje).\n");
}

std::optional<UnattendedRequest> parseArguments(const QStringList& arguments, QString* error)
{
    static const QMap<QString, UnattendedCommand> kCommands {
        {QStringLiteral("--help"), UnattendedCommand::Help},
        {QStringLiteral("--version"), UnattendedCommand::Version},
        {QStringLiteral("--provjera"), UnattendedCommand::Check},
        {QStringLiteral("--azuriranje"), UnattendedCommand::Update},
        {QStringLiteral("--probno-azuriranje"), UnattendedCommand::TrialUpdate},
        {QStringLiteral("--distribucija"), UnattendedCommand::Distribution},
    };
    const auto fail = [error](const QString& text) -> std::optional<UnattendedRequest> {
        if (error != nullptr)
            *error = text;
        return std::nullopt;
    };

    UnattendedRequest request;
    QString command;
    QString answer;
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--da") || argument == QStringLiteral("--ne")) {
            if (!answer.isEmpty())
                return fail(QStringLiteral("Odgovor je zadan više puta: ") + answer + QLatin1Char(' ') + argument);
            answer = argument;
            request.answer = argument == QStringLiteral("--da") ? Answer::Yes : Answer::No;
        } else if (kCommands.contains(argument)) {
            if (!command.isEmpty())
                return fail(QStringLiteral("Zadano je više operacija: ") + command + QLatin1Char(' ') + argument);
            command = argument;
            request.command = kCommands.value(argument);
        } else {
            return fail(QStringLiteral("Nepoznat argument: ") + argument);
        }
    }
    if (command.isEmpty())
        return fail(QStringLiteral("Nije zadana operacija (--provjera, --azuriranje, --probno-azuriranje ili "
                                   "--distribucija)"));
    const bool informational = request.command == UnattendedCommand::Help || request.command == UnattendedCommand::Version;
    if (informational && !answer.isEmpty())
        return fail(command + QStringLiteral(" se zadaje bez drugih argumenata"));
    return request;
}

int runUnattended(const QStringList& arguments, platform::Platform& platform, SettingsStore& settings,
                  const ConsoleStreams& console)
{
    QString error;
    const std::optional<UnattendedRequest> request = parseArguments(arguments, &error);
    if (!request) {
        writeLine(console.err, kProgram + QStringLiteral(": ") + error);
        console.err << usageText().toLocal8Bit().constData() << std::flush;
        return ExitWrongArguments;
    }
    switch (request->command) {
    case UnattendedCommand::Help:
        console.out << usageText().toLocal8Bit().constData() << std::flush;
        return ExitDone;
    case UnattendedCommand::Version:
        writeLine(console.out, kProgram + QLatin1Char(' ') + versionText());
        return ExitDone;
    default:
        break;
    }

    UnattendedPlatform unattended(platform);
    AppState state;
    ConsoleWindow window(console.err, console.in, console.terminal, request->answer);
    Context ctx {state, window, unattended, settings};
    // The running-program guard asks again after every answer while a suite
    // program stays open: without an operator it would spin for ever. It asks
    // before anything is replaced, so ending there leaves the installation as it was.
    window.setRepeatedQuestionHandler([&ctx, &console](const QString& question) {
        if (!question.startsWith(kRunningProgramsQuestion))
            return;
        const QString text = QStringLiteral("Pokrenuti programi se nisu zatvorili, a bez operatera se ne može čekati. "
                                            "Prekida se ažuriranje!");
        writeLine(console.err, text);
        LogirajGrešku(ctx, QStringLiteral("UpdatePrograma- ") + text);
        ctx.platform.system().endProgram(ExitFailed);
    });
    state.programFolder = fromNative(unattended.system().programFolder());
    startUp(ctx);

    switch (request->command) {
    case UnattendedCommand::Check: {
        const ExclusiveRun running(ctx);
        if (!running)
            return ExitBusy;
        state.trialRun = false;
        const bool planned = PripremiVerzijaTXT(ctx);
        state.manifestFailed = !planned;
        if (!planned)
            return notPlanned(window, ctx, console.out, console.err);
        printPlan(console.out, window.plan());
        return ExitDone;
    }
    case UnattendedCommand::Update:
    case UnattendedCommand::TrialUpdate: {
        const bool installed = request->command == UnattendedCommand::Update ? cmdDownloadAndUpdate_Click(ctx)
                                                                               : cmdProbnaAžuriranja_Click(ctx);
        if (installed)
            return ExitDone;
        if (state.heldElsewhere)
            return ExitBusy;
        // The update run itself rebuilds the plan after installing; only a plan
        // that stopped the command counts as nothing new.
        if (state.manifestFailed)
            return notPlanned(window, ctx, console.out, console.err);
        return failed(window, ctx, console.err);
    }
    case UnattendedCommand::Distribution:
        if (cmdDownlNaLokaciju_Click(ctx))
            return ExitDone;
        return state.heldElsewhere ? ExitBusy : failed(window, ctx, console.err);
    default:
        return ExitWrongArguments;
    }
}

} // namespace tarvino
