#pragma once

// Name comparisons the way Windows makes them, so that both halves of the
// platform find the same windows and delete the same files.

#include <string>
#include <string_view>
#include <vector>

namespace tarvino::platform {

/// Whole texts equal with letter case ignored (ASCII and the Latin letters of
/// the suite's languages, č and Č included). Texts are UTF-8.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

/// Whether a file name matches a pattern of "*" and "?" as Windows matches it:
/// letter case ignored, "*" also matches a leading dot, and a pattern ending
/// in ".*" also matches a name without an extension ("*.*" matches every name).
bool matchesWildcard(std::string_view name, std::string_view pattern);

/// A command line that a Windows program splits back into exactly these arguments
/// (the first one is the program): each argument that needs it is quoted, with the
/// runtime's escapes for quotes and the backslashes before them.
std::string commandLineOf(const std::vector<std::string>& arguments);

} // namespace tarvino::platform
