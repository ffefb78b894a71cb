#include "afxstr.h"

#include <mbstring.h>
#include <stdio.h>
#include <string.h>

namespace {

bool IsTrimSpace(unsigned char ch)
{
    // Only ASCII white space: in the double-byte code pages every trail byte is 0x40 or above, so a
    // byte-wise test never cuts into a character.
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

}   // namespace

CString::CString(LPCSTR psz) : m_str(psz ? psz : "") {}
CString::CString(LPCSTR pch, int nLength) : m_str(pch && nLength > 0 ? std::string(pch, static_cast<size_t>(nLength)) : std::string()) {}
CString::CString(char ch, int nRepeat) : m_str(nRepeat > 0 ? static_cast<size_t>(nRepeat) : 0, ch) {}

CString& CString::operator=(LPCSTR psz)
{
    m_str = psz ? psz : "";
    return *this;
}

CString& CString::operator+=(const CString& str)
{
    m_str += str.m_str;
    return *this;
}
CString& CString::operator+=(LPCSTR psz)
{
    if (psz)
        m_str += psz;
    return *this;
}
CString& CString::operator+=(char ch)
{
    m_str += ch;
    return *this;
}

void CString::FormatV(LPCSTR pszFormat, va_list args)
{
    if (!pszFormat)
    {
        m_str.clear();
        return;
    }
    va_list count;
    va_copy(count, args);
    int cch = _vscprintf(pszFormat, count);
    va_end(count);
    if (cch <= 0)
    {
        m_str.clear();
        return;
    }
    std::string out(static_cast<size_t>(cch) + 1, '\0');
    _vsnprintf(&out[0], out.size(), pszFormat, args);
    out.resize(static_cast<size_t>(cch));
    m_str.swap(out);
}

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatCatalogue(UINT nFormatID, ...)
{
    CString strFormat;
    strFormat.LoadString(nFormatID);
    va_list args;
    va_start(args, nFormatID);
    FormatV(strFormat, args);
    va_end(args);
}

CString& CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && IsTrimSpace(static_cast<unsigned char>(m_str[n - 1])))
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::TrimLeft()
{
    size_t n = 0;
    while (n < m_str.size() && IsTrimSpace(static_cast<unsigned char>(m_str[n])))
        ++n;
    m_str.erase(0, n);
    return *this;
}

CString& CString::Trim()
{
    return TrimRight().TrimLeft();
}

CString CString::Left(int nCount) const
{
    if (nCount <= 0)
        return CString();
    return CString(m_str.substr(0, static_cast<size_t>(nCount)).c_str());
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength() - (nFirst < 0 ? 0 : nFirst));
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nCount <= 0 || nFirst >= GetLength())
        return CString();
    return CString(m_str.substr(static_cast<size_t>(nFirst), static_cast<size_t>(nCount)).c_str());
}

CString CString::SpanExcluding(LPCSTR pszCharSet) const
{
    if (!pszCharSet)
        return *this;
    // Whole characters by the system code page's lead bytes: a trail byte that equals a byte of the set
    // does not end the span.
    const char* p = m_str.c_str();
    for (; *p; p = ::CharNextA(p))
    {
        const size_t cb = static_cast<size_t>(::CharNextA(p) - p);
        for (const char* q = pszCharSet; *q; q = ::CharNextA(q))
        {
            if (static_cast<size_t>(::CharNextA(q) - q) == cb && memcmp(p, q, cb) == 0)
                return Left(static_cast<int>(p - m_str.c_str()));
        }
    }
    return *this;
}

int CString::Compare(LPCSTR psz) const
{
    return _mbscmp(reinterpret_cast<const unsigned char*>(m_str.c_str()),
                   reinterpret_cast<const unsigned char*>(psz ? psz : ""));
}

int CString::CompareNoCase(LPCSTR psz) const
{
    // The system's comparison knows the code page's double-byte characters.
    return ::lstrcmpiA(m_str.c_str(), psz ? psz : "");
}

LPSTR CString::GetBuffer(int nMinBufLength)
{
    size_t len = m_str.size();
    if (nMinBufLength > 0 && static_cast<size_t>(nMinBufLength) > len)
        m_str.resize(static_cast<size_t>(nMinBufLength));
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    size_t n = nNewLength < 0 ? strnlen(m_str.c_str(), m_str.size()) : static_cast<size_t>(nNewLength);
    if (n < m_str.size())
        m_str.resize(n);
}

CString operator+(const CString& a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
CString operator+(const CString& a, LPCSTR b)
{
    CString s(a);
    s += b;
    return s;
}
CString operator+(LPCSTR a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
CString operator+(const CString& a, char b)
{
    CString s(a);
    s += b;
    return s;
}
