// The two paths the program derives from its own executable's path.
#pragma once

#include <windows.h>

// szModuleDir: the executable's folder with its final backslash; szListFile: the path up to and including
// its last '.', followed by "ini". An executable path of MAX_PATH bytes or more leaves both empty (the
// system would have cut it into another path), and a list-file path that would not fit leaves that one
// empty: nothing is ever written past the buffers.
void SplitModulePath(const char* pszExePath, char (&szModuleDir)[MAX_PATH + 1], char (&szListFile)[MAX_PATH + 1]);

// The two paths of the running program's own executable.
void ReadModulePaths(char (&szModuleDir)[MAX_PATH + 1], char (&szListFile)[MAX_PATH + 1]);
