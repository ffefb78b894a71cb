// The checks of an Install request, apart from the dialog.
#pragma once

#include <afxwin.h>

struct InstallRefusal
{
    UINT nMessageID;   // catalogue string to show; 0 when the request is accepted
    int nFocusID;      // field that gets the focus, or 0 to leave the focus where it is
};

// The checks in their order: the folder text, trimmed, must have at least 4 bytes; the package text,
// trimmed, must not be empty and FileExistsAtPath must accept it. IDS_PACKAGE_NOT_FOUND is formatted
// with the trimmed package text. The first failing check decides; the package is not looked at while the
// folder is refused.
InstallRefusal CheckInstallRequest(const CString& strFolderText, const CString& strPackageText);
