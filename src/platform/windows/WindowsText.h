#pragma once

// Conversions at the Win32 boundary: the logic speaks UTF-8, Windows UTF-16
// and, in its "A" calls, the ANSI code page.

#include "platform/Platform.h"

#include <string>

namespace tarvino::platform::win {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16, std::size_t length);
std::string fromAnsi(const std::string& ansi);

/// The system's description of an error number, in UTF-8, without the line break.
std::string describe(unsigned long error);

/// A failed outcome for a Win32 error; `ERROR_FILE_NOT_FOUND` alone is an absent file.
Outcome fromError(unsigned long error);

/// The same for `GetLastError()`.
Outcome lastError();

/// `GetLastError()` as a plain failure, also when it says "file not found".
Outcome lastFailure();

} // namespace tarvino::platform::win
