#include "platform/windows/WindowsText.h"

#include <windows.h>

namespace tarvino::platform::win {

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), length);
    return out;
}

std::string narrow(const wchar_t* utf16, std::size_t length)
{
    if (length == 0)
        return {};
    const int size = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, size, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string narrow(const std::wstring& utf16)
{
    return narrow(utf16.data(), utf16.size());
}

std::string fromAnsi(const std::string& ansi)
{
    if (ansi.empty())
        return {};
    const int size = static_cast<int>(ansi.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), length);
    return narrow(wide);
}

std::string describe(unsigned long error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || !buffer)
        return "Error " + std::to_string(error);
    std::string text = narrow(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

Outcome fromError(unsigned long error)
{
    if (error == ERROR_FILE_NOT_FOUND)
        return Outcome::absent(static_cast<int>(error), describe(error));
    return Outcome::failed(static_cast<int>(error), describe(error));
}

Outcome lastError()
{
    return fromError(GetLastError());
}

Outcome lastFailure()
{
    const DWORD error = GetLastError();
    return Outcome::failed(static_cast<int>(error), describe(error));
}

} // namespace tarvino::platform::win
