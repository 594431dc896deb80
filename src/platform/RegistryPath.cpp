#include "platform/RegistryPath.h"

#include "platform/TextRules.h"

#include <array>
#include <utility>

namespace tarvino::platform {

std::string RegistryPath::full() const
{
    return root + '\\' + (key.empty() ? std::string() : key + '\\') + name;
}

std::optional<RegistryPath> parseRegistryPath(const std::string& fullPath)
{
    if (fullPath.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return std::nullopt;
    const auto firstSep = fullPath.find('\\');
    if (firstSep == std::string::npos)
        return std::nullopt;

    static constexpr std::array<std::pair<const char*, const char*>, 10> roots{{
        {"HKCU", "HKCU"},
        {"HKEY_CURRENT_USER", "HKCU"},
        {"HKLM", "HKLM"},
        {"HKEY_LOCAL_MACHINE", "HKLM"},
        {"HKCR", "HKCR"},
        {"HKEY_CLASSES_ROOT", "HKCR"},
        {"HKU", "HKU"},
        {"HKEY_USERS", "HKU"},
        {"HKCC", "HKCC"},
        {"HKEY_CURRENT_CONFIG", "HKCC"},
    }};
    const std::string rootText = fullPath.substr(0, firstSep);
    RegistryPath path;
    for (const auto& [name, shortName] : roots) {
        if (equalsIgnoringCase(rootText, name)) {
            path.root = shortName;
            break;
        }
    }
    if (path.root.empty())
        return std::nullopt;

    const auto lastSep = fullPath.rfind('\\');
    if (lastSep > firstSep)
        path.key = fullPath.substr(firstSep + 1, lastSep - firstSep - 1);
    path.name = fullPath.substr(lastSep + 1);
    return path;
}

} // namespace tarvino::platform
