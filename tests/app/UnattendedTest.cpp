#include "../transfer/PackedRelease.h"
#include "InstallFixture.h"
#include "TestHttpServer.h"
#include "XvfbDesktop.h"
#include "app/ConsoleWindow.h"
#include "app/Unattended.h"
#include "app/Version.h"
#include "core/Journal.h"
#include "core/Settings.h"
#include "core/Text.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sstream>

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
    QString out;
    QString err;
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
                        "Racuni.exe;23;1;5;" + QByteArray::number(packed.size()) + ";" + QByteArray::number(program.size()) + ";\r\n");
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
    const QList<std::pair<QStringList, QString>> wrong {
        {{QStringLiteral("--nepoznat")}, QStringLiteral("Nepoznat argument: --nepoznat")},
        {{QStringLiteral("--provjera"), QStringLiteral("--azuriranje")},
         QStringLiteral("Zadano je više operacija: --provjera --azuriranje")},
        {{QStringLiteral("--da")}, QStringLiteral("Nije zadana operacija")},
        {{QStringLiteral("--azuriranje"), QStringLiteral("--da"), QStringLiteral("--ne")},
         QStringLiteral("Odgovor je zadan više puta: --da --ne")},
        {{QStringLiteral("--version"), QStringLiteral("--da")}, QStringLiteral("--version se zadaje bez drugih")},
    };
    for (const auto& [arguments, error] : wrong) {
        const Outcome r = ws.run(arguments);
        EXPECT_EQ(r.status, ExitWrongArguments) << arguments.join(' ').toStdString();
        const QStringList err = lines(r.err);
        EXPECT_TRUE(err.size() > 1 && err[0].startsWith(QStringLiteral("TarvinoLiveUpdate23: ") + error) &&
                    err[1].startsWith(QStringLiteral("Upotreba: ")))
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // Nothing was touched: no start-up ran.
    EXPECT_FALSE(QFile::exists(journalPath(ws.inst.state)));

    const Outcome version = ws.run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, ExitDone);
    EXPECT_EQ(version.out,
              QStringLiteral("TarvinoLiveUpdate23 %1.%2.%3\n").arg(version::Major).arg(version::Minor).arg(version::Revision));
    const Outcome help = ws.run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, ExitDone);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Upotreba: ")));
}

TEST(Unattended, CheckPrintsThePlanOrSaysThatNothingIsNewOrFails)
{
    Workstation ws;
    ws.inst.write(QStringLiteral("UpdateADM/ostatak.txt"), "left over");
    ws.server.serve(kBase + QStringLiteral("Verzije.txt"), kNewManifest);

    Outcome r = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(r.status, ExitDone) << r.err.toStdString();
    EXPECT_EQ(lines(r.out),
              QStringList({QStringLiteral("Ime programa/komponente Ver_Gl Ver_Pom Ver_Rev VeličinaDownload StvarnaVeličina"),
                           QStringLiteral("Racuni.exe 23 1 5 110 210"), QStringLiteral("Place.exe 23 0 1 3000 7000"),
                           QStringLiteral("UKUPNO: 3110 7210")}));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // The window's start-up ran: the probe folder is gone; the check journals as in the window.
    EXPECT_FALSE(ws.inst.exists(QStringLiteral("UpdateADM")));
    EXPECT_TRUE(ws.inst.journal().contains(QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Racuni.exe")))
        << ws.inst.journal().join('\n').toStdString();

    ws.server.serve(kBase + QStringLiteral("Verzije.txt"), kInstalledManifest);
    r = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(r.status, ExitNothingNew) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Nema novih verzija Tarvino programa!\n"));

    ws.server.answerStatus(kBase + QStringLiteral("Verzije.txt"), 404);
    r = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(lines(r.err).contains(QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta! Provjerite "
                                                     "vezu sa internetom i pokušajte ponovno! Prekida se ažuriranje!")))
        << r.err.toStdString();

    // An update with nothing new stops before the update run, as its button does.
    ws.server.serve(kBase + QStringLiteral("Verzije.txt"), kInstalledManifest);
    r = ws.run({QStringLiteral("--azuriranje"), QStringLiteral("--da")});
    EXPECT_EQ(r.status, ExitNothingNew) << r.err.toStdString();
    EXPECT_FALSE(ws.inst.journal().contains(QStringLiteral("********************* KRAJ UPDATE")));
}

TEST(Unattended, TheUpdateQuestionIsAnsweredByTheCommandLineTheTerminalOrNo)
{
    const OwnConfigHome home;
    Workstation ws;
    const QByteArray program = publishInNetworkFolder(ws);

    const QString question = QStringLiteral(
        "Svi novi programi su spremni za ažuriranje. Da bi instalirali nove programe morate zatvoriti sve otvorene "
        "Tarvino programe! Želite li izvršiti ažuriranje/instaliranje novih programa?");

    // No, given or for want of an answer and a terminal.
    const std::pair<QStringList, QString> refusals[] = {
        {{QStringLiteral("--azuriranje"), QStringLiteral("--ne")}, QStringLiteral("Odgovor: Ne (--ne)")},
        {{QStringLiteral("--azuriranje")}, QStringLiteral("Odgovor: Ne (nije zadano --da ni --ne, a nema terminala)")},
    };
    Outcome r;
    for (const auto& [arguments, answer] : refusals) {
        r = ws.run(arguments);
        EXPECT_EQ(r.status, ExitFailed);
        EXPECT_EQ(lines(r.err), QStringList({question, answer}));
        EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
    }

    // A backup folder that cannot be made ends the program, which a scheduler must not take as done.
    ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "UpdateBackup");
    r = ws.run({QStringLiteral("--azuriranje"), QStringLiteral("--da")});
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
    ws.inst.platform.faultyFiles.clearFaults();

    // At a terminal the operator answers; an answer that is neither is asked again.
    r = ws.run({QStringLiteral("--azuriranje")}, /*terminal=*/true, "možda\nda\n");
    EXPECT_EQ(r.status, ExitDone) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Uspješno instalirani novi programi!\n"))) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("Odgovor (da/ne): ")), 2);
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), program);
    EXPECT_EQ(ws.inst.journal().last(), QStringLiteral("********************* KRAJ UPDATE"));
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
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("Pokrenuti programi se nisu zatvorili, a bez operatera se ne može "
                                              "čekati. Prekida se ažuriranje!\n")))
        << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("Postoje pokrenuti programi:")), 2);
    EXPECT_EQ(ws.inst.read(QStringLiteral("Racuni.exe")), QByteArray("program"));
}

TEST(Unattended, ConsoleBoxesAreOneLineAndARepeatedQuestionIsReported)
{
    std::ostringstream err;
    std::istringstream in;
    ConsoleWindow window(err, in, /*terminal=*/false, Answer::Yes);
    window.message(QStringLiteral("Prvi red\r\ndrugi red"), Icon::Exclamation);
    window.message(QStringLiteral("Tekst"), Icon::None, QStringLiteral("Naslov"));
    EXPECT_EQ(err.str(), "Prvi red drugi red\nNaslov: Tekst\n");

    QStringList repeated;
    window.setRepeatedQuestionHandler([&](const QString& q) { repeated.append(q); });
    EXPECT_EQ(window.question(QStringLiteral("Postoje pokrenuti programi:\r\nRacuni")), Answer::Yes);
    EXPECT_EQ(window.question(QStringLiteral("Drugo?")), Answer::Yes);
    EXPECT_TRUE(repeated.isEmpty());
    EXPECT_EQ(window.question(QStringLiteral("Postoje pokrenuti programi:\r\nRacuni")), Answer::Yes);
    EXPECT_EQ(repeated, QStringList({QStringLiteral("Postoje pokrenuti programi:\r\nRacuni")}));
}
