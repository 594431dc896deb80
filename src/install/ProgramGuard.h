#pragma once

#include "platform/Platform.h"

#include <QString>

#include <array>

namespace tarvino {

/// One program of the suite: the exact caption of its main window and the name
/// the operator is told when that window is open.
struct SuiteProgram {
    const char* caption;
    const char* reportedName;
};

/// The suite's programs of release 23, in the order the operator is told of them.
const std::array<SuiteProgram, 34>& suitePrograms();

/// The reported names of the suite's programs that have a top-level window open,
/// each followed by CR LF, in table order; empty when none is open. Never fails:
/// a lookup that cannot be made counts as a program that is not open.
QString PokrenutiProgrami(platform::WindowManager& windows);

/// Whether a top-level window is open whose class belongs to `name` (one of the
/// well-known application keys, any letter case) or, for any other name, whose
/// whole caption is `name`. A minimised window found is shown without being
/// restored; with `activate` it is also brought to the foreground.
bool AppJeStartana(platform::WindowManager& windows, const QString& name, bool activate);

} // namespace tarvino
