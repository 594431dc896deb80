#pragma once

#include "core/WindowPort.h"

#include <QString>
#include <QStringList>

#include <iosfwd>
#include <optional>

namespace tarvino {

class SettingsStore;
namespace platform {
class Platform;
}

/// Exit statuses of a run from the command line.
enum ExitStatus : int {
    ExitDone = 0,
    ExitFailed = 1,
    ExitWrongArguments = 2,
    ExitNothingNew = 3,
    ExitBusy = 4,
};

enum class UnattendedCommand { Help, Version, Check, Update, TrialUpdate, Distribution };

struct UnattendedRequest {
    UnattendedCommand command = UnattendedCommand::Help;
    /// `--da` or `--ne`: the answer to every question of the run.
    std::optional<Answer> answer;
};

/// The command line without the program's name; an error text in `error` when it is wrong.
std::optional<UnattendedRequest> parseArguments(const QStringList& arguments, QString* error);

/// The usage text, several lines.
QString usageText();

/// Where a run from the command line reads and writes.
struct ConsoleStreams {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    /// Whether `in` is a terminal an operator answers at.
    bool terminal;
};

/// Runs one operation without the window: the window's start-up without the
/// window, then the operation, its boxes and questions on the console. Returns
/// the exit status.
int runUnattended(const QStringList& arguments, platform::Platform& platform, SettingsStore& settings,
                  const ConsoleStreams& console);

} // namespace tarvino
