#pragma once

#include <optional>
#include <string>

namespace tarvino::platform {

/// A registry value addressed by full path, "HKCU\Software\Maker\Key\Name":
/// the root in its short form, the key below it and the value's name.
struct RegistryPath {
    std::string root; // "HKCU", "HKLM", "HKCR", "HKU" or "HKCC"
    std::string key;  // may be empty: a value directly under the root
    std::string name; // empty for the key's default value

    /// The path as one text with the short root: "HKCU\Software\...\Name".
    std::string full() const;
};

/// Splits a full path; the long root names (HKEY_CURRENT_USER) are accepted
/// too. Nothing for an unknown root, a path without a value part, or a path
/// that holds a line break or a NUL.
std::optional<RegistryPath> parseRegistryPath(const std::string& fullPath);

} // namespace tarvino::platform
