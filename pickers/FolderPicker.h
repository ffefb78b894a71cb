// The shell's folder browser for the target folder.
#pragma once

#include <afxwin.h>

// Folder browser callback: once the browser is up, selects the folder whose path lpData points at.
int CALLBACK BrowseFolderCallback(HWND hWnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

// Makes a chosen folder the target folder: unchanged when it contains "ZemWeb" anywhere (case-sensitive),
// else "ZemWeb" after a backslash, the backslash left out when the path already ends in one or has none
// at all. FALSE, with the path unchanged, when the result would not fit in MAX_PATH bytes.
BOOL AppendZemWebFolder(CString& strPath);

// Opens the browser modal to pDlg, starting at the folder that field nFieldID names, and puts the chosen
// folder, made the target folder, into that field. Cancel, a choice without a file-system path or one too
// long leave the field as it was.
void BrowseForWebFolder(CWnd* pDlg, int nFieldID);
