// A component as regsvr32 registers it: registering writes the DLL's own path under
// HKCU\Software\TarvinoTest\Registered, unregistering removes it.
#include <windows.h>

namespace {

HMODULE self;
const wchar_t* const kKey = L"Software\\TarvinoTest";

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT DllRegisterServer()
{
    wchar_t path[MAX_PATH] {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    return RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Registered", REG_SZ, path,
                           (length + 1) * sizeof(wchar_t)) == ERROR_SUCCESS
               ? S_OK
               : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT DllUnregisterServer()
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"Registered");
    return S_OK;
}
