#include "app/Unattended.h"

#include "../transfer/PackedRelease.h"
#include "InstallFixture.h"
#include "TestHttpServer.h"
#include "XvfbDesktop.h"
#include "app/Version.h"
#include "core/Journal.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "install/Rollback.h"
#include "install/UpdateRun.h"
#include "plan/ExclusiveRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kBase = QStringLiteral("/download/Verzija23/");
const QByteArray kInstalledManifest = "Racuni.exe;23;1;4;100;200;\r\n";
const QByteArray kNewManifest = "Racuni.exe;23;1;5;110;210;\r\nPlace.exe;23;0;1;3000;7000;\r\n";

/// One run of the program from the command line, in-process.
struct Outcome {
    int status = -1;
    bool ended = false;
    QString out, err;
};

/// An installation of one program whose settings point at an update server on 127.0.0.1.
struct Workstation {
    Workstation()
    {
        inst.write(QStringLiteral("Verzije.txt"), kInstalledManifest);
        inst.write(QStringLiteral("Racuni.exe"), "program");
        inst.write(QStringLiteral("TeamViewerQS.exe"), "support");
        set(key::PrimaryServer, server.hostAndPort());
        set(key::UseChilkat, QStringLiteral("false"));
    }

    void set(const QString& name, const QString& value) { inst.settings->write(key::Settings, name, value); }

    Outcome run(const QStringList& arguments, bool terminal = false, const std::string& typed = {})
    {
        std::ostringstream out;
        std::ostringstream err;
        std::istringstream in(typed);
        Outcome result;
        try {
            result.status = runUnattended(arguments, inst.platform, *inst.settings, {out, err, in, terminal});
        } catch (const ProgramEnded& ended) {
            result.status = ended.exitCode;
            result.ended = true;
        }
        result.out = QString::fromStdString(out.str());
        result.err = QString::fromStdString(err.str());
        return result;
    }

    TestInstallation inst;
    TestHttpServer server;
};

/// Publishes a newer Racuni.exe, packed by the real 7-Zip, in a network folder the
/// workstation's settings select. Returns the new program's bytes.
QByteArray publishInNetworkFolder(Workstation& ws)
{
    const QString source = QDir::toNativeSeparators(ws.inst.root() + QStringLiteral("/mreza")) + separator();
    const QByteArray program = QByteArray("Racuni release 23.1.5 ").repeated(30);
    const QByteArray packed = sevenZip(QStringLiteral("Racuni.exe"), program);
    put(source, QStringLiteral("Racuni.7z"), packed);
    put(source, QStringLiteral("Verzije.txt"),
        "Racuni.exe;23;1;5;" + QByteArray::number(packed.size()) + ";" + QByteArray::number(program.size()) +
            ";\r\n");
    ws.set(key::RegularOption, QString::number(NetworkFolder));
    ws.set(key::RegularFolder, source);
    return program;
}

/// The lines of an output, each with its runs of spaces made one.
QStringList lines(const QString& text)
{
    QStringList found;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        found << line.simplified();
    return found;
}

} // namespace

TEST(Unattended, WrongArgumentsGetOneErrorLineAndTheUsage)
{
    Workstation ws;
    const QList<std::pair<QStringList, QString>> wrong{
        {{QStringLiteral("--nepoznat")}, QStringLiteral("Nepoznat argument: --nepoznat")},
        {{QStringLiteral("--provjera"), QStringLiteral("--azuriranje")},
         QStringLiteral("Zadano je više operacija: --provjera --azuriranje")},
        {{QStringLiteral("--da")}, QStringLiteral("Nije zadana operacija")},
        {{QStringLiteral("--azuriranje"), QStringLiteral("--da"), QStringLiteral("--ne")},
         QStringLiteral("Odgovor je zadan više puta: --da --ne")},
        {{QStringLiteral("--version"), QStringLiteral("--da")},
         QStringLiteral("--version se zadaje bez drugih")},
    };
    for (const auto& [arguments, error] : wrong) {
        const Outcome r = ws.run(arguments);
        EXPECT_EQ(r.status, ExitWrongArguments) << arguments.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("TarvinoLiveUpdate23: ") + error) &&
                    lines(r.err).value(1).startsWith(QStringLiteral("Upotreba: ")) && r.out.isEmpty())
            << r.err.toStdString();
    }
    // Nothing was touched: no start-up ran.
    EXPECT_FALSE(QFile::exists(journalPath(ws.inst.state)));

    const Outcome version = ws.run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, ExitDone);
    const QString number = QStringLiteral("%1.%2.%3").arg(version::Major).arg(version::Minor);
    EXPECT_EQ(version.out, QStringLiteral("TarvinoLiveUpdate23 ") + number.arg(version::Revision) + u'\n');
    const Outcome help = ws.run({QStringLiteral("--help")});
    EXPECT_TRUE(help.status == ExitDone && help.out.startsWith(QStringLiteral("Upotreba: ")));
}

TEST(Unattended, CheckPrintsThePlanOrSaysThatNothingIsNewOrFails)
{
    Workstation ws;
    ws.inst.write(QStringLiteral("UpdateADM/ostatak.txt"), "left over");
    const QString manifest = kBase + QStringLiteral("Verzije.txt");
    const QStringList plan{
        QStringLiteral("Ime programa/komponente Ver_Gl Ver_Pom Ver_Rev VeličinaDownload StvarnaVeličina"),
        QStringLiteral("Racuni.exe 23 1 5 110 210"), QStringLiteral("Place.exe 23 0 1 3000 7000"),
        QStringLiteral("UKUPNO: 3110 7210")};
    const QStringList nothingNew{QStringLiteral("Nema novih verzija Tarvino programa!")};
    const QStringList check{QStringLiteral("--provjera")};
    const QStringList update{QStringLiteral("--azuriranje"), QStringLiteral("--da")};
    // The manifest served (none: not found), the arguments, the status and the output's lines.
    const std::tuple<QByteArray, QStringList, int, QStringList> cases[] = {
        {kNewManifest, check, ExitDone, plan},
        {kInstalledManifest, check, ExitNothingNew, nothingNew},
        {{}, check, ExitFailed, {}},
        // An update with nothing new stops before the update run, as its button does.
        {kInstalledManifest, update, ExitNothingNew, nothingNew},
        // A refused name fails with the reader's reason on standard error.
        {"Novi.7z\" -o. -x!B.exe;1;0;0;1;1;\r\n", update, ExitFailed, {}},
    };
    for (const auto& [served, arguments, status, out] : cases) {
        served.isEmpty() ? ws.server.answerStatus(manifest, 404) : ws.server.serve(manifest, served);
        const Outcome r = ws.run(arguments);
        EXPECT_EQ(std::pair(r.status, lines(r.out)), std::pair(status, out)) << r.err.toStdString();
        // Never a failure without a word why.
        EXPECT_TRUE(status != ExitFailed || !r.err.isEmpty());
    }
    EXPECT_TRUE(ws.run(update).err.contains(QStringLiteral("Ime ne smije sadržavati znakove < > \" | ? *")));
    // The window's start-up ran; the update run did not.
    EXPECT_FALSE(ws.inst.exists(QStringLiteral("UpdateADM")));
    EXPECT_FALSE(ws.inst.journal().contains(QStringLiteral("********************* KRAJ UPDATE")));
}

TEST(Unattended, TheUpdateQuestionIsAnsweredByTheCommandLineTheTerminalOrNo)
{
    const OwnConfigHome home;
    Workstation ws;
    const QByteArray program = publishInNetworkFolder(ws);
    const auto magnification = [&](const QString& path) {
        return ws.inst.platform.registry().readDword(native(path));
    };

    const QString question =
        QStringLiteral("Svi novi programi su spremni za ažuriranje. Da bi instalirali nove programe morate "
                       "zatvoriti sve otvorene Tarvino programe! Želite li izvršiti "
                       "ažuriranje/instaliranje novih programa?");

    // No, given or for want of an answer and a terminal.
    const std::pair<QStringList, QString> refusals[] = {
        {{QStringLiteral("--azuriranje"), QStringLiteral("--ne")}, QStringLiteral("Odgovor: Ne (--ne)")},
        {{QStringLiteral("--azuriranje")},
         QStringLiteral("Odgovor: Ne (nije zadano --da ni --ne, a nema terminala)")},
    };
    Outcome r;
    for (const auto& [arguments, answer] : refusals) {
        r = ws.run(arguments);
        EXPECT_EQ(r.status, ExitFailed);
        EXPECT_EQ(lines(r.err), QStringList({question, answer}));
        EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
        EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Racuni.exe")), program);
        EXPECT_FALSE(magnification(kMagnificationDenominator));
    }

    // A backup folder that cannot be made ends the program, which a scheduler must not take as done.
    ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "UpdateBackup");
    r = ws.run({QStringLiteral("--azuriranje"), QStringLiteral("--da")});
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.status, ExitFailed);
    // Each box is one line.
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Nastala je greška u kreiranju UpdateBackup direktorije! Program za "
                                      "ažuriranje novih verzija mora prestati sa radom. Vjerojatno nemate "
                                      "administratorska prava! Greška: Access is denied.\n")))
        << r.err.toStdString();
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
    ws.inst.platform.faultyFiles.clearFaults();

    // At a terminal the operator answers; an answer that is neither is asked again.
    r = ws.run({QStringLiteral("--azuriranje")}, /*terminal=*/true, "možda\nda\n");
    EXPECT_EQ(r.status, ExitDone) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Uspješno instalirani novi programi!\n")))
        << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("Odgovor (da/ne): ")), 2);
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), program);
    EXPECT_EQ(std::pair(magnification(kMagnificationDenominator), magnification(kMagnificationNumerator)),
              std::pair(std::optional<std::uint32_t>(1), std::optional<std::uint32_t>(12)));
    // The plan is made again after the installation's last line.
    const QStringList journal = ws.inst.journal();
    EXPECT_EQ(journal.last(), QStringLiteral("********************* KRAJ UPDATE"));
    EXPECT_GT(journal.lastIndexOf(QRegularExpression(QStringLiteral("^NapraviRsŠtoTrebaAžurirati - kraj"))),
              journal.indexOf(QStringLiteral("UpdatePrograma - Kraj")));
}

TEST(Unattended, ASuiteProgramLeftOpenEndsTheRunInsteadOfAskingForEver)
{
    XvfbDesktop desktop;
    std::string why;
    if (!desktop.open(why))
        GTEST_SKIP() << "No display for window tests: " << why;
    desktop.open("TarvinoMain", "Plaće 23");

    const OwnConfigHome home;
    Workstation ws;
    publishInNetworkFolder(ws);
    // "Yes" to the guard means "check again": with the program still open it would never end.
    const Outcome r = ws.run({QStringLiteral("--azuriranje"), QStringLiteral("--da")});
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_TRUE(
        r.err.endsWith(QStringLiteral("Pokrenuti programi se nisu zatvorili, a bez operatera se ne može "
                                      "čekati. Prekida se ažuriranje!\n")))
        << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("Postoje pokrenuti programi:")), 2);
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
}

TEST(Unattended, AnotherRunHoldingTheInstallationStopsEveryOperationAndAKilledOneIsPutBackFirst)
{
    Workstation ws;
    {
        const platform::LockAttempt other =
            ws.inst.platform.files().lockFile(native(ws.inst.folder() + kLockFile));
        ASSERT_TRUE(other.lock);
        for (const char* command : {"--provjera", "--azuriranje", "--probno-azuriranje", "--distribucija"}) {
            const Outcome r = ws.run({QString::fromLatin1(command), QStringLiteral("--da")});
            EXPECT_EQ(r.status, ExitBusy) << command;
            EXPECT_TRUE(r.err.startsWith(QStringLiteral("Na ovoj instalaciji već radi druga provjera")))
                << r.err.toStdString();
        }
        EXPECT_TRUE(ws.server.requests.isEmpty());
    }

    // A run killed while it copied the new program left its record: the next start
    // puts the old program back before its check begins.
    ws.inst.write(QStringLiteral("UpdateBackup/Racuni.exe"), "program");
    ws.inst.write(QStringLiteral("Racuni.exe"), "half a new");
    ws.inst.write(kInstallationRecord, "Racuni.exe\n");
    const Outcome r = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
    EXPECT_FALSE(ws.inst.exists(kInstallationRecord));
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Prethodna instalacija novih verzija je prekinuta prije kraja.")))
        << r.err.toStdString();
    const QStringList journal = ws.inst.journal();
    const qsizetype restored = journal.indexOf(QStringLiteral("PokušajVratitiSveNaPočetak - Kraj"));
    EXPECT_GE(restored, 0);
    EXPECT_LT(restored, journal.indexOf(QRegularExpression(QStringLiteral("Početak Download: .*"))));
}
