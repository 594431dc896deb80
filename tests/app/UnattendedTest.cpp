#include "app/Unattended.h"

#include "InstallFixture.h"
#include "ServedInstallation.h"
#include "XvfbDesktop.h"
#include "core/Settings.h"
#include "install/Rollback.h"
#include "install/UpdateRun.h"
#include "plan/ExclusiveRun.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sstream>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;

namespace {

const QByteArray kOld = "Racuni.exe;23;1;4;100;200;\r\n";
const QByteArray kNew = "Racuni.exe;23;1;5;110;210;\r\nPlace.exe;23;0;1;3000;7000;\r\n";

struct Outcome {
    int status = -1;
    bool ended = false;
    QString out, err;
};

/// The lines of an output, each with its runs of spaces made one.
QStringList lines(const QString& text)
{
    QStringList found;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
        found << line.simplified();
    return found;
}

/// An installation of one program whose settings select the update server.
struct Workstation : ServedInstallation {
    Workstation()
    {
        inst.write(u"Verzije.txt"_s, kOld);
        inst.write(u"Racuni.exe"_s, "program");
        inst.write(u"TeamViewerQS.exe"_s, "support");
        set(key::PrimaryServer, server.hostAndPort());
        set(key::UseChilkat, u"false"_s);
    }

    void set(const QString& name, const QString& value) { inst.settings->write(key::Settings, name, value); }

    /// One run of the program from the command line (arguments split at spaces), in-process.
    Outcome run(const char* arguments, bool terminal = false, const std::string& typed = {})
    {
        std::ostringstream out, err;
        std::istringstream in(typed);
        Outcome r;
        try {
            r.status = runUnattended(QString::fromUtf8(arguments).split(u' ', Qt::SkipEmptyParts),
                                     inst.platform, *inst.settings, {out, err, in, terminal});
        } catch (const ProgramEnded& ended) {
            r = {ended.exitCode, true};
        }
        r.out = QString::fromStdString(out.str());
        r.err = QString::fromStdString(err.str());
        return r;
    }

    /// A newer Racuni.exe in the network folder, which the settings select.
    QByteArray publishInNetworkFolder()
    {
        rows = {{.name = u"Racuni.exe"_s, .content = "new program", .minor = 1, .revision = 5}};
        publish();
        set(key::RegularOption, QString::number(NetworkFolder));
        set(key::RegularFolder, network());
        return rows[0].content;
    }
};

} // namespace

TEST(Unattended, EachRunEndsWithItsStatusAndSaysWhy)
{
    Workstation ws;
    ws.inst.write(u"UpdateADM/ostatak.txt"_s, "left over");
    const QStringList plan{
        u"Ime programa/komponente Ver_Gl Ver_Pom Ver_Rev VeličinaDownload StvarnaVeličina"_s,
        u"Racuni.exe 23 1 5 110 210"_s, u"Place.exe 23 0 1 3000 7000"_s, u"UKUPNO: 3110 7210"_s};
    const QStringList nothingNew{u"Nema novih verzija Tarvino programa!"_s};
    struct Case {
        const char* arguments;
        int status;
        QByteArray served = kOld; // none: not found
        QStringList out = {};
        QString err = {}; // what the error output says
    };
    // clang-format off
    const Case cases[] = {
        {.arguments = "--nepoznat", .status = ExitWrongArguments, .err = u"Nepoznat argument: --nepoznat"_s},
        {.arguments = "--provjera --azuriranje", .status = ExitWrongArguments, .err = u"Zadano je više operacija"_s},
        {.arguments = "--da", .status = ExitWrongArguments, .err = u"Nije zadana operacija"_s},
        {.arguments = "--azuriranje --da --ne", .status = ExitWrongArguments, .err = u"Odgovor je zadan više puta"_s},
        {.arguments = "--version --da", .status = ExitWrongArguments, .err = u"--version se zadaje bez drugih"_s},
        {.arguments = "--provjera", .status = ExitDone, .served = kNew, .out = plan},
        {.arguments = "--provjera", .status = ExitNothingNew, .out = nothingNew},
        {.arguments = "--provjera", .status = ExitFailed, .served = {}, .err = u"Nije moguće učitati kontrolnu"_s},
        // An update with nothing new stops before the update run, as its button does.
        {.arguments = "--azuriranje --da", .status = ExitNothingNew, .out = nothingNew},
        {.arguments = "--azuriranje --da", .status = ExitFailed, .served = "Novi.7z\" -o. -x!B.exe;1;0;0;1;1;\r\n",
         .err = u"Ime ne smije sadržavati znakove"_s},
    };
    // clang-format on
    for (const Case& c : cases) {
        if (c.served.isEmpty())
            ws.server.answers[ws.url(u"Verzije.txt"_s)] = {.status = 404};
        else
            ws.server.serve(ws.url(u"Verzije.txt"_s), c.served);
        const Outcome r = ws.run(c.arguments);
        EXPECT_EQ(std::pair(r.status, lines(r.out)), std::pair(c.status, c.out)) << c.arguments;
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
        // Wrong arguments (the first rows) start nothing.
        EXPECT_EQ(r.err.contains(u"\nUpotreba: "_s), c.status == ExitWrongArguments);
        EXPECT_TRUE(c.status != ExitWrongArguments || !ws.inst.exists(u"Update/Update.log"_s));
    }
    // The window's start-up ran; the update run did not.
    EXPECT_FALSE(ws.inst.exists(u"UpdateADM"_s));
    const QStringList journal = ws.inst.journal();
    EXPECT_TRUE(!journal.isEmpty() && !journal.contains(u"********************* KRAJ UPDATE"_s));
}

TEST(Unattended, TheUpdateQuestionIsAnsweredByTheCommandLineTheTerminalOrNo)
{
    const OwnConfigHome home;
    Workstation ws;
    const QByteArray program = ws.publishInNetworkFolder();
    // No, given or for want of an answer and a terminal; the question and the answer one line each.
    for (const char* arguments : {"--azuriranje --ne", "--azuriranje"}) {
        const Outcome r = ws.run(arguments);
        EXPECT_EQ(r.status, ExitFailed);
        EXPECT_TRUE(lines(r.err).size() == 2 && lines(r.err).value(1).startsWith(u"Odgovor: Ne ("_s));
        EXPECT_EQ(ws.inst.read(u"Racuni.exe"_s) + ws.updated(u"Racuni.exe"_s), "program" + program);
    }

    // A backup folder that cannot be made ends the program, which a scheduler must not take as done.
    ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "UpdateBackup");
    Outcome r = ws.run("--azuriranje --da");
    EXPECT_TRUE(r.ended && r.status == ExitFailed);
    // Each box is one line.
    EXPECT_TRUE(r.err.contains(u"Vjerojatno nemate administratorska prava! Greška: Access is denied.\n"_s));
    EXPECT_EQ(ws.inst.read(u"Racuni.exe"_s), QByteArray("program"));
    ws.inst.platform.faultyFiles.clearFaults();

    // At a terminal the operator answers; an answer that is neither is asked again.
    r = ws.run("--azuriranje", /*terminal=*/true, "možda\nda\n");
    EXPECT_EQ(r.status, ExitDone) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u"Odgovor (da/ne): "_s), 2);
    EXPECT_EQ(ws.inst.read(u"Racuni.exe"_s), program);
    // The report designer's magnification is set only by an installation.
    const auto magnification = [&](const QString& path) {
        return ws.inst.platform.registry().readDword(native(path));
    };
    EXPECT_EQ(std::pair(magnification(kMagnificationDenominator), magnification(kMagnificationNumerator)),
              std::pair(std::optional<std::uint32_t>(1), std::optional<std::uint32_t>(12)));
    // The plan is made again after the installation's last line.
    const QStringList journal = ws.inst.journal();
    EXPECT_EQ(journal.last(), u"********************* KRAJ UPDATE"_s);
    EXPECT_GT(journal.lastIndexOf(QRegularExpression(u"^NapraviRsŠtoTrebaAžurirati - kraj"_s)),
              journal.indexOf(u"UpdatePrograma - Kraj"_s));
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
    ws.publishInNetworkFolder();
    // "Yes" to the guard means "check again": with the program still open it would never end.
    const Outcome r = ws.run("--azuriranje --da");
    EXPECT_TRUE(r.ended && r.status == ExitFailed);
    EXPECT_TRUE(r.err.endsWith(u"bez operatera se ne može čekati. Prekida se ažuriranje!\n"_s))
        << r.err.toStdString();
    EXPECT_EQ(ws.inst.read(u"Racuni.exe"_s), QByteArray("program"));
}

TEST(Unattended, AnotherRunHoldingTheInstallationStopsEveryOperationAndAKilledOneIsPutBackFirst)
{
    Workstation ws;
    {
        const platform::LockAttempt other =
            ws.inst.platform.files().lockFile(native(ws.inst.folder() + kLockFile));
        ASSERT_TRUE(other.lock);
        for (const char* command :
             {"--provjera --da", "--azuriranje --da", "--probno-azuriranje --da", "--distribucija --da"}) {
            const Outcome r = ws.run(command);
            EXPECT_EQ(r.status, ExitBusy) << command;
            EXPECT_TRUE(r.err.startsWith(u"Na ovoj instalaciji već radi druga provjera"_s));
        }
        EXPECT_TRUE(ws.server.requests.isEmpty());
    }

    // A run killed mid-copy left its record: the next start puts the old program back first.
    ws.inst.write(u"UpdateBackup/Racuni.exe"_s, "program");
    ws.inst.write(u"Racuni.exe"_s, "half a new");
    ws.inst.write(kInstallationRecord, "Racuni.exe\n");
    const Outcome r = ws.run("--provjera");
    EXPECT_EQ(ws.inst.read(u"Racuni.exe"_s), QByteArray("program"));
    EXPECT_FALSE(ws.inst.exists(kInstallationRecord));
    EXPECT_TRUE(r.err.startsWith(u"Prethodna instalacija novih verzija je prekinuta"_s));
    const QStringList journal = ws.inst.journal();
    const qsizetype restored = journal.indexOf(u"PokušajVratitiSveNaPočetak - Kraj"_s);
    EXPECT_GE(restored, 0);
    EXPECT_LT(restored, journal.indexOf(QRegularExpression(u"Početak Download: .*"_s)));
}
