#include "LogPane.h"

#include <commctrl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <string>

void FormatLogLineV(char (&szLine)[LOG_LINE_BUFFER], const char* pszFormat, va_list args)
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

void FormatLogLine(char (&szLine)[LOG_LINE_BUFFER], const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatLogLineV(szLine, pszFormat, args);
    va_end(args);
}

void AppendTextToPane(HWND hEdit, const char* pszText)
{
    // A selection start past the end is clamped to the end of the text, whatever unit the control counts in.
    ::SendMessageA(hEdit, EM_SETSEL, INT_MAX, INT_MAX);
    ::SendMessageA(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pszText));
    ::SendMessageA(hEdit, EM_SCROLLCARET, 0, 0);
}

BOOL CLogQueue::AddLine(const char* pszLine)
{
    return Add({ std::string(pszLine) + "\r\n", 0 });
}

BOOL CLogQueue::AddProgress(UINT nPos)
{
    return Add({ std::string(), nPos });
}

BOOL CLogQueue::Add(Item&& item)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.push_back(std::move(item));
    return m_items.size() == 1;
}

void CLogQueue::Drain(HWND hEdit, HWND hProgress)
{
    std::vector<Item> items;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        items.swap(m_items);
    }
    // The text goes in at once: adding it costs nearly the same for a hundred lines as for one.
    std::string text;
    for (const Item& item : items)
        text += item.strLine;
    if (!text.empty())
        AppendTextToPane(hEdit, text.c_str());
    for (const Item& item : items)
        if (item.strLine.empty())
            ::SendMessageA(hProgress, PBM_SETPOS, item.nPos, 0);
}
