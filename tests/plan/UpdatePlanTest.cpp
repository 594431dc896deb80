#include "plan/UpdatePlan.h"

#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/ExclusiveRun.h"
#include "plan/FolderLayout.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const char* const kHelp = "Windows/Help/";
const char* const kScripts = "Skrite za izmjenu baze/";

/// A row of both manifests, as "name;main;minor;revision" (sizes 100 and 200) or with its sizes.
struct Row {
    QString installed; // empty: no installed record
    QString fresh;
    const char* present = ""; // the folder below the installation that holds the file; none: null
    bool planned = false;
};

QString withSizes(const QString& row)
{
    return row + QLatin1String(row.count(QLatin1Char(';')) == 3 ? ";100;200;\r\n" : ";\r\n");
}

/// An installation with its folders derived and both manifests written.
struct PlanSetup {
    explicit PlanSetup(const std::vector<Row>& rows)
    {
        inst.platform.fakeSystem.env["WinDir"] = native(inst.path(QStringLiteral("Windows")));
        IzvediDirektorije(inst.ctx);
        QString installed;
        QString fresh;
        for (const Row& row : rows) {
            installed += row.installed.isEmpty() ? QString() : withSizes(row.installed);
            fresh += withSizes(row.fresh);
            if (row.present)
                inst.write(QString::fromUtf8(row.present) + row.fresh.section(QLatin1Char(';'), 0, 0), "x");
        }
        inst.write(kManifestFile, toAnsi(installed));
        inst.write(QStringLiteral("Update/Verzije.txt"), toAnsi(fresh));
    }
    TestInstallation inst;
};

/// Plans the rows and checks the mark of each and the packed size of them all.
void expectPlan(const std::vector<Row>& rows, std::int64_t total)
{
    PlanSetup setup(rows);
    EXPECT_TRUE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx));
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(setup.inst.state.plan.at(int(i), 6).number() == 1, rows[i].planned)
            << rows[i].fresh.toStdString();
    EXPECT_EQ(setup.inst.state.totalPackedSize, total);
    EXPECT_TRUE(setup.inst.window.messages.empty());
}

} // namespace

TEST(UpdatePlan, DecisionsForEveryKindOfRow)
{
    // clang-format off
    expectPlan({
        {.installed = "A.exe;1;9;9", .fresh = "A.exe;2;0;0", .planned = true},
        // Each number on its own: 1.5.0 is newer than 2.0.0 by its minor number.
        {.installed = "B.exe;2;0;0", .fresh = "B.exe;1;5;0", .planned = true},
        {.installed = "C.exe;2;5;5", .fresh = "C.exe;2;5;4"},
        // A program's sizes do not count; a missing program comes again.
        {.installed = "D.exe;1;2;3", .fresh = "D.exe;1;2;3;900;900"},
        {.installed = "E.exe;1;2;3", .fresh = "E.exe;1;2;3", .present = nullptr, .planned = true},
        // A component comes when either of its sizes grew.
        {.installed = "F.ocx;1;0;0", .fresh = "F.ocx;1;0;0;101;200", .planned = true},
        {.installed = "G.ocx;1;0;0", .fresh = "G.ocx;1;0;0;100;201", .planned = true},
        {.installed = "H.chm;1;0;0", .fresh = "H.chm;1;0;0;150;200", .present = kHelp, .planned = true},
        {.installed = "I.chm;1;0;0", .fresh = "I.chm;1;0;0", .planned = true},
        {.installed = "J.chm;1;0;0", .fresh = "J.chm;1;0;0", .present = kHelp},
        // A script comes when it is missing or its real size grew.
        {.installed = "K.enc;1;0;0", .fresh = "K.enc;1;0;0", .planned = true},
        {.installed = "L.enc;1;0;0", .fresh = "L.enc;1;0;0;100;300", .present = kScripts, .planned = true},
        {.installed = "M.enc;1;0;0", .fresh = "M.enc;1;0;0;300;200", .present = kScripts},
        {.installed = kToolFileName + ";1;0;0", .fresh = kToolFileName + ";9;0;0"},
        {.installed = "racuni.exe;1;0;0", .fresh = "Racuni.exe;1;0;0", .planned = true},
        {.fresh = "V1.dll;1;0;0;3000000000;200", .planned = true},
        {.fresh = "V2.dll;1;0;0;3000000000;200", .planned = true},
        // Scripts after a newer database change come again, those before it do not.
        {.installed = kDatabaseChangeComponent + ";1;0;0", .fresh = kDatabaseChangeComponent + ";2;0;0;50;200",
         .planned = true},
        {.installed = "S.enc;1;0;0", .fresh = "S.enc;1;0;0;9;200", .present = kScripts, .planned = true},
    }, 6000001110LL);
    // A database change as a new item does not bring them.
    expectPlan({
        {.fresh = kDatabaseChangeComponent + ";1;0;0;50;200", .planned = true},
        {.installed = "S.enc;1;0;0", .fresh = "S.enc;1;0;0", .present = kScripts},
    }, 50);
    // clang-format on
}

TEST(UpdatePlan, AMissingOrMalformedManifestStopsWithABoxAndNoPlan)
{
    const std::pair<const char*, QByteArray> cases[] = {
        {"Update/Verzije.txt", "A.exe;2;0;0;1;1\r\n"}, {"Verzije.txt", {}}, {"Verzije.txt", "A.exe;1\r\n"}};
    for (const auto& [file, content] : cases) {
        PlanSetup setup(std::vector<Row>{{.installed = "A.exe;1;0;0", .fresh = "A.exe;2;0;0"}});
        if (content.isEmpty())
            QFile::remove(setup.inst.path(file));
        else
            setup.inst.write(file, content);
        EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx)) << file;
        EXPECT_EQ(setup.inst.window.messages.size(), 1u);
        EXPECT_TRUE(setup.inst.window.plan.empty());
    }
}

TEST(ExclusiveRun, RefusedWhileAnotherRunHoldsTheInstallation)
{
    TestInstallation inst;
    const platform::LockAttempt other = inst.platform.files().lockFile(native(inst.folder() + kLockFile));
    ASSERT_TRUE(other.lock);
    const ExclusiveRun run(inst.ctx, /*quiet=*/true);
    EXPECT_FALSE(run);
    EXPECT_TRUE(inst.state.heldElsewhere);
}
