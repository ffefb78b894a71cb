// The file work of a deployment: folder trees, the replace-copy and the texts its failures are told with.
#pragma once

#include <afxwin.h>

#include <memory>

// Creates every folder along the path, each prefix that ends in a backslash and then the whole path.
// The individual creations may fail (the drive's root, folders that exist); the result says whether the
// folder is there afterwards.
BOOL CreateDirectoryTree(LPCSTR pszPath);

// Copies pszSource over pszDest, replacing a read-only file, and with bRemoveEmptyFolder an empty folder
// of that name. The copy goes to a temporary file beside the destination first, so a copy that fails
// leaves what was published before untouched. Returns ERROR_SUCCESS or the system error code.
DWORD ReplaceCopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder);

// The system's text for an error code, in the user's language, with the line break system texts end
// with; empty when the system has none.
CString SystemErrorText(DWORD dwError);

// Catalogue string that explains a failed virtual-directory creation, or 0 when the code has none.
UINT VirtualDirErrorID(HRESULT hr);

// The target folder as the worker uses it: blanks around it removed, and a backslash after its last
// character unless that character is one (a double-byte character ending in byte 0x5C is not).
CString TargetFolderPath(const CString& strFieldText);

// Owner of a buffer the system allocated with LocalAlloc (FormatMessage's and others).
struct LocalFreeDeleter
{
    void operator()(void* p) const { ::LocalFree(p); }
};
using CLocalBuffer = std::unique_ptr<char, LocalFreeDeleter>;
