#include "Schema.h"

#include <iiscnfg.h>
#include <mddefw.h>

#include <algorithm>

#include <errno.h>
#include <string.h>
#include <wchar.h>

namespace iisadmin {

namespace {

const FlagName kAccessFlags[] = {
    {L"AccessRead", MD_ACCESS_READ},
    {L"AccessWrite", MD_ACCESS_WRITE},
    {L"AccessExecute", MD_ACCESS_EXECUTE},
    {L"AccessSource", MD_ACCESS_SOURCE},
    {L"AccessScript", MD_ACCESS_SCRIPT},
    {L"AccessNoRemoteWrite", MD_ACCESS_NO_REMOTE_WRITE},
    {L"AccessNoRemoteRead", MD_ACCESS_NO_REMOTE_READ},
    {L"AccessNoRemoteExecute", MD_ACCESS_NO_REMOTE_EXECUTE},
    {L"AccessNoRemoteScript", MD_ACCESS_NO_REMOTE_SCRIPT},
    {L"AccessNoPhysicalDir", MD_ACCESS_NO_PHYSICAL_DIR},
};

const PropertySchema kProperties[] = {
    {L"KeyType", MD_KEY_TYPE, STRING_METADATA, IIS_MD_UT_SERVER, METADATA_NO_ATTRIBUTES, nullptr, 0},
    {L"ServerComment", MD_SERVER_COMMENT, STRING_METADATA, IIS_MD_UT_SERVER, METADATA_INHERIT, nullptr, 0},
    {L"ServerBindings", MD_SERVER_BINDINGS, MULTISZ_METADATA, IIS_MD_UT_SERVER, METADATA_NO_ATTRIBUTES, nullptr, 0},
    {L"Path", MD_VR_PATH, STRING_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT, nullptr, 0},
    {L"AccessFlags", MD_ACCESS_PERM, DWORD_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT, kAccessFlags,
     sizeof kAccessFlags / sizeof kAccessFlags[0]},
    {L"DefaultDoc", MD_DEFAULT_LOAD_FILE, STRING_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT, nullptr, 0},
    {L"MimeMap", MD_MIME_MAP, MULTISZ_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT, nullptr, 0},
};

const FlagName kDataTypes[] = {
    {L"DWORD", DWORD_METADATA},
    {L"STRING", STRING_METADATA},
    {L"BINARY", BINARY_METADATA},
    {L"EXPANDSZ", EXPANDSZ_METADATA},
    {L"MULTISZ", MULTISZ_METADATA},
};

const FlagName kUserTypes[] = {
    {L"IIS_MD_UT_SERVER", IIS_MD_UT_SERVER},
    {L"IIS_MD_UT_FILE", IIS_MD_UT_FILE},
    {L"IIS_MD_UT_WAM", IIS_MD_UT_WAM},
    {L"ASP_MD_UT_APP", ASP_MD_UT_APP},
};

const FlagName kAttributes[] = {
    {L"INHERIT", METADATA_INHERIT},
    {L"PARTIAL_PATH", METADATA_PARTIAL_PATH},
    {L"SECURE", METADATA_SECURE},
    {L"REFERENCE", METADATA_REFERENCE},
    {L"VOLATILE", METADATA_VOLATILE},
    {L"ISINHERITED", METADATA_ISINHERITED},
    {L"INSERT_PATH", METADATA_INSERT_PATH},
    {L"LOCAL_MACHINE_ONLY", METADATA_LOCAL_MACHINE_ONLY},
    {L"NON_SECURE_ONLY", METADATA_NON_SECURE_ONLY},
};

template <size_t N>
const FlagName* FindName(const FlagName (&table)[N], const std::wstring& name)
{
    for (const FlagName& entry : table)
        if (SameText(entry.name, name))
            return &entry;
    return nullptr;
}

std::wstring Trim(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return std::wstring();
    size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Decimal, or hexadecimal after 0x; the whole text must be the number.
bool ParseNumber(const std::wstring& text, DWORD& value)
{
    std::wstring t = Trim(text);
    if (t.empty())
        return false;
    int base = 10;
    const wchar_t* digits = t.c_str();
    if (t.size() > 2 && t[0] == L'0' && (t[1] == L'x' || t[1] == L'X')) {
        base = 16;
        digits += 2;
    }
    if (*digits == L'-' || *digits == L'+')
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long long v = wcstoull(digits, &end, base);
    if (errno || *end || end == digits || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(v);
    return true;
}

// Names joined by " | " (a value of 0 written as "0"); bits without a name make the whole value a
// plain number, so nothing is dropped.
std::wstring JoinFlags(DWORD value, const FlagName* names, size_t count, const wchar_t* zeroName)
{
    if (value == 0)
        return zeroName ? zeroName : L"0";
    std::wstring text;
    DWORD covered = 0;
    for (size_t i = 0; i < count; ++i) {
        if ((value & names[i].value) == names[i].value && names[i].value) {
            if (!text.empty())
                text += L" | ";
            text += names[i].name;
            covered |= names[i].value;
        }
    }
    if (covered != value)
        return std::to_wstring(value);
    return text;
}

bool SplitFlags(const std::wstring& text, const FlagName* names, size_t count, const wchar_t* zeroName,
                DWORD& value)
{
    DWORD result = 0;
    size_t start = 0;
    for (;;) {
        size_t bar = text.find(L'|', start);
        std::wstring token = Trim(text.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start));
        DWORD bits = 0;
        bool known = false;
        for (size_t i = 0; i < count && !known; ++i)
            if (SameText(names[i].name, token)) {
                bits = names[i].value;
                known = true;
            }
        if (!known && zeroName && SameText(zeroName, token))
            known = true;
        if (!known && !ParseNumber(token, bits))
            return false;
        result |= bits;
        if (bar == std::wstring::npos)
            break;
        start = bar + 1;
    }
    value = result;
    return true;
}

// Characters an XML 1.0 document can carry in an attribute and give back unchanged: no control
// characters (tab, CR and LF come back as spaces), no non-characters, no unpaired surrogates.
bool SurvivesAttribute(const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void AppendUtf16(std::vector<BYTE>& data, const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    data.insert(data.end(), bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

// The strings of a multi-string value, or false when the bytes are not one (no final double NUL).
bool MultiStringEntries(const std::vector<BYTE>& data, std::vector<std::wstring>& entries)
{
    if (data.size() % sizeof(wchar_t))
        return false;
    const wchar_t* p = reinterpret_cast<const wchar_t*>(data.data());
    size_t count = data.size() / sizeof(wchar_t);
    size_t i = 0;
    while (i < count && p[i]) {
        size_t start = i;
        while (i < count && p[i])
            ++i;
        if (i == count)
            return false;
        entries.emplace_back(p + start, i - start);
        ++i;
    }
    return i < count;
}

} // namespace

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

const PropertySchema* FindProperty(DWORD id)
{
    for (const PropertySchema& p : kProperties)
        if (p.id == id)
            return &p;
    return nullptr;
}

const PropertySchema* FindProperty(const std::wstring& name)
{
    // The file is case-sensitive: "path" is not the Path property.
    for (const PropertySchema& p : kProperties)
        if (name == p.name)
            return &p;
    return nullptr;
}

const wchar_t* DataTypeName(DWORD dataType)
{
    for (const FlagName& entry : kDataTypes)
        if (entry.value == dataType)
            return entry.name;
    return nullptr;
}

bool ParseDataType(const std::wstring& text, DWORD& dataType)
{
    std::wstring t = Trim(text);
    if (const FlagName* entry = FindName(kDataTypes, t)) {
        dataType = entry->value;
        return true;
    }
    DWORD number = 0;
    if (!ParseNumber(t, number) || number == ALL_METADATA || number >= INVALID_END_METADATA)
        return false;
    dataType = number;
    return true;
}

std::wstring UserTypeText(DWORD userType)
{
    for (const FlagName& entry : kUserTypes)
        if (entry.value == userType)
            return entry.name;
    return std::to_wstring(userType);
}

bool ParseUserType(const std::wstring& text, DWORD& userType)
{
    std::wstring t = Trim(text);
    if (const FlagName* entry = FindName(kUserTypes, t)) {
        userType = entry->value;
        return true;
    }
    return ParseNumber(t, userType);
}

std::wstring AttributesText(DWORD attributes)
{
    return JoinFlags(attributes, kAttributes, sizeof kAttributes / sizeof kAttributes[0], L"NO_ATTRIBUTES");
}

bool ParseAttributes(const std::wstring& text, DWORD& attributes)
{
    return SplitFlags(text, kAttributes, sizeof kAttributes / sizeof kAttributes[0], L"NO_ATTRIBUTES", attributes);
}

bool ValueText(DWORD dataType, const std::vector<BYTE>& data, const PropertySchema* schema, std::wstring& text)
{
    switch (dataType) {
    case DWORD_METADATA: {
        if (data.size() != sizeof(DWORD))
            return false;
        DWORD value;
        memcpy(&value, data.data(), sizeof value);
        text = schema && schema->flags ? JoinFlags(value, schema->flags, schema->flagCount, nullptr)
                                       : std::to_wstring(value);
        return true;
    }
    case STRING_METADATA:
    case EXPANDSZ_METADATA: {
        if (data.size() < sizeof(wchar_t) || data.size() % sizeof(wchar_t))
            return false;
        const wchar_t* p = reinterpret_cast<const wchar_t*>(data.data());
        size_t length = data.size() / sizeof(wchar_t) - 1;
        if (p[length] != L'\0' || !SurvivesAttribute(p, length))
            return false;
        text.assign(p, length);
        return true;
    }
    case MULTISZ_METADATA: {
        std::vector<std::wstring> entries;
        if (!MultiStringEntries(data, entries))
            return false;
        // Only bytes that a reload gives back exactly: an entry that is empty or has spaces at its ends
        // would be dropped or trimmed as layout.
        text.clear();
        for (const std::wstring& entry : entries) {
            if (entry.empty() || entry.front() == L' ' || entry.back() == L' ' ||
                !SurvivesAttribute(entry.c_str(), entry.size()))
                return false;
            if (!text.empty())
                text += L"\n\t\t\t"; // one entry per line, as IIS lays them out
            text += entry;
        }
        return true;
    }
    case BINARY_METADATA:
        text = HexText(data);
        return true;
    default:
        return false;
    }
}

bool ParseValueText(const std::wstring& text, DWORD dataType, const PropertySchema* schema, std::vector<BYTE>& data)
{
    data.clear();
    switch (dataType) {
    case DWORD_METADATA: {
        DWORD value = 0;
        std::wstring t = Trim(text);
        if (SameText(t, L"TRUE"))
            value = 1;
        else if (SameText(t, L"FALSE"))
            value = 0;
        else if (schema && schema->flags) {
            if (!SplitFlags(t, schema->flags, schema->flagCount, nullptr, value))
                return false;
        } else if (!ParseNumber(t, value)) {
            return false;
        }
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
        data.assign(bytes, bytes + sizeof value);
        return true;
    }
    case STRING_METADATA:
    case EXPANDSZ_METADATA:
        AppendUtf16(data, text);
        return true;
    case MULTISZ_METADATA: {
        // One entry per line; the tabs IIS indents the lines after the first with are layout, and so are
        // blank lines. Spaces inside an entry are its own (C:\Program Files\...).
        for (size_t start = 0; start < text.size();) {
            size_t end = std::min(text.find_first_of(L"\r\n", start), text.size());
            std::wstring entry = Trim(text.substr(start, end - start));
            if (!entry.empty())
                AppendUtf16(data, entry);
            start = end + 1;
        }
        if (data.empty())
            data.push_back(0), data.push_back(0); // an empty list keeps two NULs, as SetData stores it
        data.push_back(0);
        data.push_back(0);
        return true;
    }
    case BINARY_METADATA:
        return ParseHexText(Trim(text), data);
    default:
        return false;
    }
}

std::wstring HexText(const std::vector<BYTE>& data)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(data.size() * 2);
    for (BYTE b : data) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

bool ParseHexText(const std::wstring& text, std::vector<BYTE>& data)
{
    if (text.size() % 2)
        return false;
    data.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j) {
            wchar_t c = text[j];
            int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                        : c >= L'a' && c <= L'f' ? c - L'a' + 10
                        : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                 : -1;
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        data.push_back(static_cast<BYTE>(value));
    }
    return true;
}

} // namespace iisadmin
