// Creating a virtual directory below a web site's root in the metabase.
#pragma once

#include <windows.h>

// Creates /LM/W3SVC/<nSite>/ROOT/<pszName> mapped to pszPath (stored exactly as given), marked as a web
// virtual directory with read access, and with the default documents when pszDefaultDocs is not null. The
// texts are in the system ANSI code page; the metabase keeps them in UTF-16.
// An existing key of that name is left untouched and AddKey's failure is returned. Returns zero, or the
// result of the first call that failed, unchanged; nothing written before a failure is undone.
HRESULT CreateWebVirtualDir(int nSite, LPCSTR pszName, LPCSTR pszPath, LPCSTR pszDefaultDocs);
