#include "plan/UpdatePlan.h"

#include "TestInstallation.h"
#include "core/Text.h"
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

/// Plans the rows in an installation with its folders derived and checks each row's mark and the packed size
/// of them all; without `total` the plan is refused with a box and marks nothing.
void expectPlan(const std::vector<Row>& rows, std::optional<std::int64_t> total)
{
    TestInstallation inst;
    inst.platform.fakeSystem.env["WinDir"] = native(inst.path(QStringLiteral("Windows")));
    IzvediDirektorije(inst.ctx);
    QString installed;
    QString fresh;
    const auto withSizes = [](const QString& row) {
        return row + QLatin1String(row.count(QLatin1Char(';')) == 3 ? ";100;200;\r\n" : ";\r\n");
    };
    for (const Row& row : rows) {
        installed += row.installed.isEmpty() ? QString() : withSizes(row.installed);
        fresh += withSizes(row.fresh);
        if (row.present)
            inst.write(QString::fromUtf8(row.present) + row.fresh.section(QLatin1Char(';'), 0, 0), "x");
    }
    inst.write(kManifestFile, toAnsi(installed));
    inst.write(QStringLiteral("Update/Verzije.txt"), toAnsi(fresh));

    EXPECT_EQ(NapraviRsŠtoTrebaAžurirati(inst.ctx), total.has_value());
    EXPECT_EQ(inst.window.messages.size(), total ? 0u : 1u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(inst.state.plan.at(int(i), 6).number() == 1, rows[i].planned)
            << rows[i].fresh.toStdString();
    EXPECT_EQ(inst.state.totalPackedSize, total.value_or(0));
}

} // namespace

TEST(UpdatePlan, DecisionsForEveryKindOfRowOrNoneForAMalformedManifest)
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
        // A script or help file comes when it is missing or its real size grew.
        {.installed = "K.enc;1;0;0", .fresh = "K.enc;1;0;0", .planned = true},
        {.installed = "L.enc;1;0;0", .fresh = "L.enc;1;0;0;100;300", .present = kScripts, .planned = true},
        {.installed = "M.enc;1;0;0", .fresh = "M.enc;1;0;0;300;200", .present = kScripts},
        {.installed = "J.chm;1;0;0", .fresh = "J.chm;1;0;0", .present = kHelp},
        {.installed = kToolFileName + ";1;0;0", .fresh = kToolFileName + ";9;0;0"},
        {.installed = "racuni.exe;1;0;0", .fresh = "Racuni.exe;1;0;0", .planned = true},
        // A total past 32 bits.
        {.fresh = "V.dll;1;0;0;5000000000;200", .planned = true},
        // Scripts after a newer database change come again, those before it do not.
        {.installed = kDatabaseChangeComponent + ";1;0;0", .fresh = kDatabaseChangeComponent + ";2;0;0;50;200",
         .planned = true},
        {.installed = "S.enc;1;0;0", .fresh = "S.enc;1;0;0;9;200", .present = kScripts, .planned = true},
    }, 5000000860LL);
    // A database change as a new item does not bring them.
    expectPlan({
        {.fresh = kDatabaseChangeComponent + ";1;0;0;50;200", .planned = true},
        {.installed = "S.enc;1;0;0", .fresh = "S.enc;1;0;0", .present = kScripts},
    }, 50);
    // A malformed manifest, installed or new.
    expectPlan({{.installed = "A.exe;1", .fresh = "A.exe;2;0;0"}}, std::nullopt);
    expectPlan({{.installed = "A.exe;1;0;0", .fresh = "A.exe;2"}}, std::nullopt);
    // clang-format on
}

// Packed files are fetched under these names.
TEST(FolderLayout, PackedNamesReplaceOnlyLowerCaseCAndZWithCaron)
{
    EXPECT_EQ(packedName(QStringLiteral("Obračun plaža.dll")), QStringLiteral("Obracun plaza.7z"));
    EXPECT_EQ(packedName(QStringLiteral("ČŽćšđ.ocx")), QStringLiteral("ČŽćšđ.7z"));
}
