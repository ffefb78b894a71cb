#include "ModulePaths.h"

#include "MbcsPath.h"

#include <string.h>

void SplitModulePath(const char* pszExePath, char (&szModuleDir)[MAX_PATH + 1], char (&szListFile)[MAX_PATH + 1])
{
    szModuleDir[0] = '\0';
    szListFile[0] = '\0';
    if (!pszExePath || strlen(pszExePath) >= MAX_PATH)
        return;
    ::lstrcpyA(szModuleDir, pszExePath);
    if (char* pDot = FindLastCharMbcs(szModuleDir, '.'))
        pDot[1] = '\0';
    if (strlen(szModuleDir) + 3 <= MAX_PATH)
    {
        ::lstrcpyA(szListFile, szModuleDir);
        ::lstrcatA(szListFile, "ini");
    }
    if (char* pSlash = FindLastCharMbcs(szModuleDir, '\\'))
        pSlash[1] = '\0';
}

void ReadModulePaths(char (&szModuleDir)[MAX_PATH + 1], char (&szListFile)[MAX_PATH + 1])
{
    // One byte more than the fixed buffers hold: a path the system had to cut is recognised and refused.
    char szPath[MAX_PATH + 2] = {};
    ::GetModuleFileNameA(nullptr, szPath, MAX_PATH + 1);
    SplitModulePath(szPath, szModuleDir, szListFile);
}
