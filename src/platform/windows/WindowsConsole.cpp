#include "platform/Platform.h"

#include <cstdio>
#include <io.h>
#include <iostream>
#include <streambuf>
#include <string>
#include <windows.h>

namespace tarvino::platform {
namespace {

// Text reaches a console as UTF-16: its own code page (852 in our offices) is not the
// ANSI one (1250) that the program's texts are written in.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : m_console(console) {}

protected:
    int_type overflow(int_type c) override
    {
        if (c != traits_type::eof()) {
            m_pending.push_back(static_cast<char>(c));
            if (c == '\n')
                sync();
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        m_pending.append(s, static_cast<std::size_t>(n));
        if (m_pending.find('\n') != std::string::npos)
            sync();
        return n;
    }
    int sync() override
    {
        if (m_pending.empty())
            return 0;
        const int size = static_cast<int>(m_pending.size());
        const int length = MultiByteToWideChar(CP_ACP, 0, m_pending.data(), size, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, m_pending.data(), size, wide.data(), length);
        DWORD written = 0;
        WriteConsoleW(m_console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        m_pending.clear();
        return 0;
    }

private:
    HANDLE m_console;
    std::string m_pending;
};

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A handle that leads somewhere: a file, a pipe or a console.
bool isConnected(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void toConsole(std::ostream& stream, DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    if (isConsole(handle)) {
        static ConsoleBuffer* buffers[2] = {};
        ConsoleBuffer*& buffer = buffers[which == STD_OUTPUT_HANDLE ? 0 : 1];
        if (!buffer)
            buffer = new ConsoleBuffer(handle);
        stream.flush();
        stream.rdbuf(buffer);
    }
}

} // namespace

void attachParentConsole()
{
    const bool out = isConnected(STD_OUTPUT_HANDLE);
    const bool err = isConnected(STD_ERROR_HANDLE);
    const bool in = isConnected(STD_INPUT_HANDLE);
    // A scheduled task that captures the output has given us its files: keep them.
    if ((!out || !err || !in) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out && std::freopen("CONOUT$", "w", stdout))
            SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
        if (!err && std::freopen("CONOUT$", "w", stderr))
            SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr))));
        if (!in && std::freopen("CONIN$", "r", stdin))
            SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin))));
        std::cin.clear();
    }
    toConsole(std::cout, STD_OUTPUT_HANDLE);
    toConsole(std::cerr, STD_ERROR_HANDLE);
}

bool stdinIsTerminal()
{
    return _isatty(_fileno(stdin)) != 0;
}

} // namespace tarvino::platform
