// A Windows program for the end-to-end runs under Wine, where the test itself cannot
// reach Windows' window manager:
//   WineProbe window CAPTION        opens a window with that caption until it is closed
//   WineProbe paint CAPTION RGB BMP  finds the window by its caption, saves its picture
//                                    as BMP and prints how many pixels have the colour RGB
//                                    (0xRRGGBB); exit status 1 when there is no such window
//   WineProbe close CAPTION          asks the window with that caption to close, as its close box does
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

int openWindow(const wchar_t* caption)
{
    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarvinoSuiteProgram";
    RegisterClassW(&windowClass);
    CreateWindowW(windowClass.lpszClassName, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                  nullptr, nullptr, windowClass.hInstance, nullptr);
    std::puts("open");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

int paint(const wchar_t* caption, unsigned rgb, const wchar_t* bitmapPath)
{
    const HWND window = FindWindowW(nullptr, caption);
    if (!window)
        return 1;
    RECT area;
    GetClientRect(window, &area);
    const int width = area.right, height = area.bottom;
    BITMAPINFO info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC screen = GetDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(memory, bitmap);
    PrintWindow(window, memory, PW_CLIENTONLY);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);

    const auto* pixels = static_cast<const unsigned*>(bits);
    long matching = 0;
    for (long i = 0; i < long(width) * height; ++i)
        matching += (pixels[i] & 0xFFFFFF) == rgb;

    BITMAPFILEHEADER head {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    const DWORD size = DWORD(width) * height * 4;
    head.bfSize = head.bfOffBits + size;
    if (FILE* out = _wfopen(bitmapPath, L"wb")) {
        std::fwrite(&head, sizeof head, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, size, 1, out);
        std::fclose(out);
    }
    std::printf("%ld %d %d\n", matching, width, height);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"window") == 0)
        return openWindow(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"close") == 0) {
        const HWND window = FindWindowW(nullptr, argv[2]);
        return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc == 5 && std::wcscmp(argv[1], L"paint") == 0)
        return paint(argv[2], static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 16)), argv[4]);
    std::fputs("WineProbe window CAPTION | paint CAPTION RRGGBB FILE.bmp | close CAPTION\n", stderr);
    return 2;
}
