#include "platform/windows/WindowsRegistry.h"

#include "platform/RegistryPath.h"
#include "platform/windows/WindowsText.h"

#include <windows.h>

namespace tarvino::platform {

using win::widen;

namespace {

HKEY rootKey(const std::string& root)
{
    if (root == "HKCU")
        return HKEY_CURRENT_USER;
    if (root == "HKLM")
        return HKEY_LOCAL_MACHINE;
    if (root == "HKCR")
        return HKEY_CLASSES_ROOT;
    if (root == "HKU")
        return HKEY_USERS;
    return HKEY_CURRENT_CONFIG;
}

Outcome fromStatus(LSTATUS status)
{
    return Outcome::failed(static_cast<int>(status), win::describe(static_cast<unsigned long>(status)));
}

} // namespace

Outcome WindowsRegistry::writeDword(const std::string& fullPath, std::uint32_t value)
{
    const auto path = parseRegistryPath(fullPath);
    if (!path)
        return Outcome::failed(ERROR_INVALID_PARAMETER, "Invalid registry path: " + fullPath);
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(rootKey(path->root), widen(path->key).c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return fromStatus(status);
    const DWORD data = value;
    status = RegSetValueExW(key, widen(path->name).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&data), sizeof data);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return fromStatus(status);
    return Outcome::ok();
}

std::optional<std::uint32_t> WindowsRegistry::readDword(const std::string& fullPath) const
{
    const auto path = parseRegistryPath(fullPath);
    if (!path)
        return std::nullopt;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LSTATUS status = RegGetValueW(rootKey(path->root), widen(path->key).c_str(),
                                        widen(path->name).c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

} // namespace tarvino::platform
