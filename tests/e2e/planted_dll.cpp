// A DLL planted beside a program under a system DLL's name: when anything loads it, it leaves
// <its own path>.loaded, the proof that the program ran foreign code.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        wchar_t path[MAX_PATH + 8] = {};
        DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        lstrcpyW(path + length, L".loaded");
        HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (marker != INVALID_HANDLE_VALUE)
            CloseHandle(marker);
    }
    return TRUE;
}
