// Creating a virtual directory below a web site's root in the metabase.
#pragma once

#include <windows.h>

#include <string>

// "/LM/W3SVC/<nSite>/ROOT/<pszName>": the key of virtual directory pszName of web site nSite.
std::wstring VirtualDirKeyPath(int nSite, LPCSTR pszName);

// Creates /LM/W3SVC/<nSite>/ROOT/<pszName> mapped to pszPath (stored exactly as given), marked as a web
// virtual directory with read access, and with the default documents when pszDefaultDocs is not null. The
// texts are in the system ANSI code page; the metabase keeps them in UTF-16.
// An existing key of that name is left untouched and AddKey's failure is returned. Returns zero, or the
// result of the first call that failed, unchanged; nothing written before a failure is undone.
HRESULT CreateWebVirtualDir(int nSite, LPCSTR pszName, LPCSTR pszPath, LPCSTR pszDefaultDocs);

// The key type that makes a key a web virtual directory.
const WCHAR VIRTUAL_DIR_KEY_TYPE[] = L"IIsWebVirtualDir";

// A virtual directory's values as the web server takes them, inherited ones included; a value the key
// lacks is empty, or zero.
struct VirtualDirInfo
{
    std::wstring strKeyType;
    std::wstring strPath;
    DWORD dwAccessFlags = 0;
    std::wstring strDefaultDocs;
};

// The result of DeleteWebVirtualDir for a key that is not a web virtual directory.
const HRESULT HR_NOT_VIRTUAL_DIR = HRESULT_FROM_WIN32(ERROR_INVALID_DATATYPE);

// Reads /LM/W3SVC/<nSite>/ROOT/<pszName>: zero, the opening's failure (path not found when there is no
// such key) or the first read that failed for a reason other than a missing value.
HRESULT QueryVirtualDir(int nSite, LPCSTR pszName, VirtualDirInfo& info);

// Deletes /LM/W3SVC/<nSite>/ROOT/<pszName> with everything below it, only when its key type says it is a
// web virtual directory: a key of any other kind is left as it is and HR_NOT_VIRTUAL_DIR returned. The
// type is read and the key deleted under one write opening, so nothing can change it in between.
HRESULT DeleteWebVirtualDir(int nSite, LPCSTR pszName);
