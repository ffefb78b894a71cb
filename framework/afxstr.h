// CString: the framework's multibyte string. Text is in the system ANSI code page and lengths count
// bytes, as everywhere in the program.
#pragma once

#include <windows.h>
#include <stdarg.h>
#include <string>
#include <type_traits>

// Marks a printf-style function: the compiler checks a literal format against its arguments. The
// framework formats with the C library's own routines (_vsnprintf), whose rules ms_printf describes.
#define AFX_PRINTF_FORMAT(nFormatIndex, nFirstArg) __attribute__((format(ms_printf, nFormatIndex, nFirstArg)))

class CString;

// An argument on its way to a format the compiler cannot see (one from the string catalogue): a CString
// goes as its text, and any other object is refused here, since "..." would hand printf its bytes.
template <typename T>
T AfxFormatArg(T arg)
{
    static_assert(!std::is_class<T>::value, "only numbers, pointers and CString can be formatted");
    return arg;
}
LPCSTR AfxFormatArg(const CString& str);

class CString
{
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(LPCSTR psz);
    CString(LPCSTR pch, int nLength);
    CString(char ch, int nRepeat = 1);

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(LPCSTR psz);
    CString& operator+=(const CString& str);
    CString& operator+=(LPCSTR psz);
    CString& operator+=(char ch);

    operator LPCSTR() const { return m_str.c_str(); }
    LPCSTR GetString() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int nIndex) const { return m_str.at(static_cast<size_t>(nIndex)); }

    // Loads a catalogue string from the resource module in the user's language; a missing string
    // leaves the text empty and returns FALSE.
    BOOL LoadString(UINT nID);

    void Format(LPCSTR pszFormat, ...) AFX_PRINTF_FORMAT(2, 3);
    // The format is catalogue string nFormatID.
    template <typename... Args>
    void Format(UINT nFormatID, const Args&... args)
    {
        FormatCatalogue(nFormatID, AfxFormatArg(args)...);
    }
    void FormatV(LPCSTR pszFormat, va_list args) AFX_PRINTF_FORMAT(2, 0);

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    // The leading part that holds none of the characters of pszCharSet, compared as whole characters.
    CString SpanExcluding(LPCSTR pszCharSet) const;

    int Compare(LPCSTR psz) const;
    int CompareNoCase(LPCSTR psz) const;

    LPSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    void FormatCatalogue(UINT nFormatID, ...);

    std::string m_str;
};

inline LPCSTR AfxFormatArg(const CString& str) { return str; }

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCSTR b);
CString operator+(LPCSTR a, const CString& b);
CString operator+(const CString& a, char b);

inline bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
inline bool operator==(const CString& a, LPCSTR b) { return a.Compare(b) == 0; }
inline bool operator==(LPCSTR a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
inline bool operator!=(const CString& a, LPCSTR b) { return a.Compare(b) != 0; }
inline bool operator!=(LPCSTR a, const CString& b) { return b.Compare(a) != 0; }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
inline bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
