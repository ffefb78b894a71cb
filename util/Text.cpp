#include "Text.h"

#include "UniqueHandle.h"

#include <string.h>

std::wstring AnsiToWide(const char* pszText)
{
    int cch = pszText ? ::MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0) : 0;
    if (cch <= 1)
        return std::wstring();
    std::wstring text(static_cast<size_t>(cch), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, pszText, -1, &text[0], cch);
    text.resize(static_cast<size_t>(cch - 1));
    return text;
}

CString WideToAnsi(const wchar_t* pszText, bool* pbExact)
{
    if (pbExact)
        *pbExact = true;
    // No best fit: on its own the system turns a full-width reverse solidus into '\\' and a full-width
    // full stop into '.', so a name that is one folder would come out as a path that climbs out of it.
    // A UTF-8 system code page takes neither the flag nor the question, and loses nothing.
    const bool bUtf8 = ::GetACP() == CP_UTF8;
    const DWORD dwFlags = bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL bDefaultUsed = FALSE;
    LPBOOL pbDefaultUsed = bUtf8 ? nullptr : &bDefaultUsed;
    int cb = pszText ? ::WideCharToMultiByte(CP_ACP, dwFlags, pszText, -1, nullptr, 0, nullptr, nullptr) : 0;
    if (cb <= 1)
        return CString();
    CString text;
    ::WideCharToMultiByte(CP_ACP, dwFlags, pszText, -1, text.GetBuffer(cb), cb, nullptr, pbDefaultUsed);
    text.ReleaseBuffer(cb - 1);
    if (pbExact)
        *pbExact = !bDefaultUsed;
    return text;
}

CString SystemErrorText(DWORD dwError)
{
    char* pszText = nullptr;
    DWORD cch = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 nullptr, dwError, 0, reinterpret_cast<LPSTR>(&pszText), 0, nullptr);
    LocalMemory owner(pszText);
    return cch && pszText ? CString(pszText, static_cast<int>(cch)) : CString();
}

CString QuoteForMessage(const char* pszText, size_t cbMax)
{
    if (!pszText)
        return CString();
    if (strlen(pszText) <= cbMax)
        return pszText;
    const char* pEnd = pszText;
    for (const char* p = pszText; *p && static_cast<size_t>(::CharNextA(p) - pszText) <= cbMax; p = ::CharNextA(p))
        pEnd = ::CharNextA(p);
    return CString(pszText, static_cast<int>(pEnd - pszText)) + "...";
}
