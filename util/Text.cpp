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

std::string WideToAnsi(const wchar_t* pszText, bool* pbExact)
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
        return std::string();
    std::string text(static_cast<size_t>(cb), '\0');
    ::WideCharToMultiByte(CP_ACP, dwFlags, pszText, -1, &text[0], cb, nullptr, pbDefaultUsed);
    text.resize(static_cast<size_t>(cb - 1));
    if (pbExact)
        *pbExact = !bDefaultUsed;
    return text;
}

std::string SystemErrorText(DWORD dwError)
{
    char* pszText = nullptr;
    DWORD cch = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 nullptr, dwError, 0, reinterpret_cast<LPSTR>(&pszText), 0, nullptr);
    LocalMemory owner(pszText);
    return cch && pszText ? std::string(pszText, cch) : std::string();
}

std::string QuoteForMessage(const char* pszText, size_t cbMax)
{
    if (!pszText)
        return std::string();
    if (strlen(pszText) <= cbMax)
        return pszText;
    const char* pEnd = pszText;
    for (const char* p = pszText; *p && static_cast<size_t>(::CharNextA(p) - pszText) <= cbMax; p = ::CharNextA(p))
        pEnd = ::CharNextA(p);
    return std::string(pszText, pEnd) + "...";
}
