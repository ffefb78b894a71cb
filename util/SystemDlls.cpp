// Linked into every program of the distribution (zem_ship_program in cmake/Distribution.cmake), first
// thing in the process. The distribution is unpacked anywhere, often into a downloads folder that collects
// other files, and the programs run as administrator; Windows looks for a DLL that is not one of its known
// DLLs in the program's own folder first. The programs therefore import such DLLs delay-loaded, and before
// any of them is loaded the process is told to take DLLs from System32 alone: that holds for the
// delay-loaded imports and for whatever the shell's pickers load later.
#include <windows.h>

namespace {

typedef BOOL(WINAPI* PFNSETDEFAULTDLLDIRECTORIES)(DWORD);

// Priority 101 runs before every other initialiser of the program, the application object included
// (priorities up to 100 belong to the run-time library).
__attribute__((constructor(101))) void TakeDllsFromSystem32Only()
{
    // Looked up, not imported: Windows 7 and Server 2008 R2 have it only with update KB2533623, and
    // without it the program must still start (with the search order it always had).
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    auto pfn = reinterpret_cast<PFNSETDEFAULTDLLDIRECTORIES>(
        reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetDefaultDllDirectories")));
    if (pfn != nullptr)
        pfn(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}   // namespace
