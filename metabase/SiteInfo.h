// Reading a web site's description, root folder and first binding from the metabase.
#pragma once

#include <windows.h>

// Room, in UTF-16 units with the terminator, for the largest value a read delivers: callers give buffers
// of this size, so no value is cut and nothing is written past a buffer.
enum { SITE_VALUE_CCH = 300 };

// Reads site nSite (1-based) into the buffers given (each may be null). The result is that of the last of
// the key's opening and the reads made; zero when the site exists and the last read succeeded. A buffer
// whose read fails is left as it was.
HRESULT QuerySiteInfo(int nSite, LPWSTR pszDescription, LPWSTR pszRootPath, LPWSTR pszBinding);
