#include "LogPane.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <string>

void FormatLogLine(char (&szLine)[LOG_LINE_BUFFER], const char* pszFormat, va_list args)
{
    memset(szLine, 0, sizeof(szLine));
    const size_t cbMax = LOG_LINE_BUFFER - 1;
    int cb = _vsnprintf(szLine, cbMax, pszFormat, args);
    if (cb >= 0 && static_cast<size_t>(cb) < cbMax)
        return;
    // Cut: drop a lead byte whose trail byte did not fit, or the pane would pair it with the CR after it.
    const char* pLast = szLine;
    for (const char* p = szLine; *p; p = ::CharNextA(p))
        pLast = p;
    if (::IsDBCSLeadByte(static_cast<BYTE>(*pLast)) && pLast[1] == '\0')
        szLine[pLast - szLine] = '\0';
}

void AppendLineToPane(HWND hEdit, const char* pszLine)
{
    std::string text(pszLine);
    text += "\r\n";
    // A selection start past the end is clamped to the end of the text, whatever unit the control counts in.
    ::SendMessageA(hEdit, EM_SETSEL, INT_MAX, INT_MAX);
    ::SendMessageA(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageA(hEdit, EM_SCROLLCARET, 0, 0);
}
