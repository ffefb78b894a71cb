// The standard Open dialog for the installation package.
#pragma once

#include <afxwin.h>

#include <commdlg.h>

enum { PACKAGE_FILTER_BUFFER = 100 };

// Fills the zero-filled buffer with the filter list: "<all files>(*.*)", "*.*", "<package>(.exe)",
// "*.exe", each ended by a NUL, and the NUL that ends the list. When the two names do not fit the list is
// built without them, so it stays well formed; FALSE then.
BOOL BuildPackageFilter(char (&szFilter)[PACKAGE_FILTER_BUFFER], LPCSTR pszAllFiles, LPCSTR pszPackage);

// Size to give OPENFILENAMEA on the platform whose GetVersion result this is: the whole structure from
// major version 5 or for any non-zero minor version, else the size the NT4-era dialog knows.
DWORD OpenFileNameSize(DWORD dwVersion);

// Opens the Open dialog modal to pDlg with "ZemSetup.exe" as the name and the .exe filter chosen, and
// puts the chosen file's full path into field nFieldID. Cancel or failure leave the field as it was.
void BrowseForPackage(CWnd* pDlg, int nFieldID);
