#include "Json.h"

#include "Text.h"

#include <wchar.h>

CJsonWriter& CJsonWriter::Open(wchar_t chOpen)
{
    BeforeValue();
    m_strText += chOpen;
    m_hasValue.push_back(false);
    return *this;
}

CJsonWriter& CJsonWriter::Close(wchar_t chClose)
{
    m_strText += chClose;
    m_hasValue.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::BeginObject() { return Open(L'{'); }
CJsonWriter& CJsonWriter::EndObject() { return Close(L'}'); }
CJsonWriter& CJsonWriter::BeginArray() { return Open(L'['); }
CJsonWriter& CJsonWriter::EndArray() { return Close(L']'); }

void CJsonWriter::BeforeValue()
{
    if (m_bAfterKey)
    {
        m_bAfterKey = false;
        return;
    }
    if (!m_hasValue.empty())
    {
        if (m_hasValue.back())
            m_strText += L',';
        m_hasValue.back() = true;
    }
}

CJsonWriter& CJsonWriter::Key(const char* pszKey)
{
    String(pszKey);
    m_strText += L':';
    m_bAfterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::String(const char* pszText)
{
    BeforeValue();
    if (!pszText)
    {
        m_strText += L"null";
        return *this;
    }
    m_strText += L'"';
    // Through UTF-16, so that the document can go out in UTF-8: a trail byte of a double-byte character
    // may be '\\' or '"', and only whole characters are looked at.
    for (wchar_t ch : AnsiToWide(pszText))
    {
        switch (ch)
        {
        case L'"': m_strText += L"\\\""; break;
        case L'\\': m_strText += L"\\\\"; break;
        case L'\n': m_strText += L"\\n"; break;
        case L'\r': m_strText += L"\\r"; break;
        case L'\t': m_strText += L"\\t"; break;
        default:
            if (ch < 0x20)
            {
                wchar_t szEscape[8];
                _snwprintf(szEscape, 8, L"\\u%04x", static_cast<unsigned>(ch));
                m_strText += szEscape;
            }
            else
            {
                m_strText += ch;
            }
        }
    }
    m_strText += L'"';
    return *this;
}

CJsonWriter& CJsonWriter::Number(LONGLONG nValue)
{
    BeforeValue();
    m_strText += std::to_wstring(nValue);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(BOOL bValue)
{
    BeforeValue();
    m_strText += bValue ? L"true" : L"false";
    return *this;
}
