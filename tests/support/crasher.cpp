// Crashes on purpose, for the harness's own check that a crash fails its test at once (crash_check.sh).
// "crasher --child" starts a crashing copy of itself and then ends well: a crash of a program that a test
// starts must fail the test too.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return 2;
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return 0;
    }
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
