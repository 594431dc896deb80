// A suite program for the runs under Wine, where the test cannot reach Windows' windows itself:
//   WineProbe window CAPTION  opens a window with that caption until it is closed
//   WineProbe close CAPTION   asks the window with that caption to close, as its close box does;
//                             exit status 1 when there is no such window
#include <cstdio>
#include <cwchar>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"close") == 0) {
        const HWND window = FindWindowW(nullptr, argv[2]);
        return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc != 3 || std::wcscmp(argv[1], L"window") != 0)
        return 2;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM w, LPARAM l) -> LRESULT {
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(window, message, w, l);
    };
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarvinoSuiteProgram";
    RegisterClassW(&windowClass);
    CreateWindowW(windowClass.lpszClassName, argv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                  nullptr, nullptr, windowClass.hInstance, nullptr);
    std::puts("open");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
