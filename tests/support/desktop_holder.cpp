// Keeps the prefix's desktop open for a whole test run: wine-run --init starts it, and it ends with the
// server at --stop. Wine closes a desktop a second after its last program has gone and brings it up again
// for the next one: each time inside whichever test came first, whose output it then holds open, and each
// program start pays for it. "desktop_holder --ready" only waits until the desktop is up.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main(int argc, char**)
{
    GetDesktopWindow();
    if (argc == 1)
        Sleep(INFINITE);
}
