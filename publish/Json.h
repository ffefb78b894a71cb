// A JSON document written as it is built: objects, arrays, texts in the ANSI code page, numbers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CJsonWriter
{
public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    // A member's name, ASCII; the value follows.
    CJsonWriter& Key(const char* pszKey);
    // Text in the ANSI code page, or null for JSON's null.
    CJsonWriter& String(const char* pszText);
    CJsonWriter& Number(LONGLONG nValue);
    CJsonWriter& Bool(BOOL bValue);

    // The document so far, in UTF-16; characters beyond ASCII stay as they are.
    const std::wstring& Text() const { return m_strText; }

private:
    CJsonWriter& Open(wchar_t chOpen);
    CJsonWriter& Close(wchar_t chClose);
    // A comma before every value but the first of its container; none after a key.
    void BeforeValue();

    std::wstring m_strText;
    std::vector<bool> m_hasValue;   // one per open container
    bool m_bAfterKey = false;
};
