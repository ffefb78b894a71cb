// What the store knows of the metabase's vocabulary: the properties written by name (their identifier,
// data type, user type and attributes come from here, not from the file), the tokens of Custom
// elements, and the text form of a value. Shared by the store and by mdutil's display.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace iisadmin {

struct FlagName
{
    const wchar_t* name;
    DWORD value;
};

struct PropertySchema
{
    const wchar_t* name;
    DWORD id;
    DWORD dataType;
    DWORD userType;
    DWORD attributes;
    const FlagName* flags; // a DWORD written as flag names joined by " | ", or null
    size_t flagCount;
};

const PropertySchema* FindProperty(DWORD id);
const PropertySchema* FindProperty(const std::wstring& name);

// Tokens of the Type, UserType and Attributes of a Custom element. Parsing compares case-insensitively
// and accepts a plain number too.
const wchar_t* DataTypeName(DWORD dataType);
bool ParseDataType(const std::wstring& text, DWORD& dataType);
std::wstring UserTypeText(DWORD userType);
bool ParseUserType(const std::wstring& text, DWORD& userType);
std::wstring AttributesText(DWORD attributes);
bool ParseAttributes(const std::wstring& text, DWORD& attributes);

// A value's bytes as the text of an attribute. False when the text could not bring the value back: XML
// makes every line end LF, a multi-string's layout takes blanks at the ends of its entries, and some
// characters cannot appear in XML at all; such values are written as hex instead (HexText).
bool ValueText(DWORD dataType, const std::vector<BYTE>& data, const PropertySchema* schema, std::wstring& text);
// Text back to bytes. A multi-string has one entry per line, as IIS lays them out.
bool ParseValueText(const std::wstring& text, DWORD dataType, const PropertySchema* schema, std::vector<BYTE>& data);

std::wstring HexText(const std::vector<BYTE>& data);
bool ParseHexText(const std::wstring& text, std::vector<BYTE>& data);

bool SameText(const std::wstring& a, const std::wstring& b);

} // namespace iisadmin
