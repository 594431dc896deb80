#include "core/Journal.h"

#include "TestInstallation.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

// A journal that cannot be opened, or whose write fails after the opening, is told; no folder is made for it.
TEST(Journal, AFailedWriteIsToldAndCreatesNoFolder)
{
    TestInstallation missing(/*updateFolder=*/false);
    LogirajGrešku(missing.ctx, QStringLiteral("anything"));
    EXPECT_FALSE(missing.exists(QStringLiteral("Update")));
    EXPECT_EQ(missing.window.messages.size(), 1u);

    TestInstallation full;
    full.platform.faultyFiles.fail(FileOp::Write, "Update.log");
    LogirajGrešku(full.ctx, QStringLiteral("anything"));
    EXPECT_EQ(full.window.messages.size(), 1u);
}
