#include "ListFile.h"

#include "MbcsPath.h"

#include <string.h>

#include <map>
#include <string>

namespace {

const char kSection[] = "FileList";

bool IsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

bool HasNonAsciiKey(const std::map<std::string, CString>& values)
{
    for (const auto& entry : values)
        for (char ch : entry.first)
            if (static_cast<unsigned char>(ch) >= 0x80)
                return true;
    return false;
}

}   // namespace

UINT ReadFilesCount(LPCSTR pszListFile)
{
    return ::GetPrivateProfileIntA(kSection, "FilesCount", 0, pszListFile);
}

UINT BoundFilesCount(UINT nCount)
{
    return nCount > MAX_LIST_ENTRIES ? MAX_LIST_ENTRIES : nCount;
}

CString ReadListEntry(LPCSTR pszListFile, UINT nEntry)
{
    CString strKey;
    strKey.Format("File%d", static_cast<int>(nEntry));
    CString strValue;
    ::GetPrivateProfileStringA(kSection, strKey, "", strValue.GetBuffer(LIST_ENTRY_MAX + 1), LIST_ENTRY_MAX + 1, pszListFile);
    strValue.ReleaseBuffer();
    return strValue;
}

std::vector<CString> ReadListEntries(LPCSTR pszListFile, UINT nCount)
{
    // The whole section at once, the buffer grown until the section fits: the reader says it did not by
    // filling all but two bytes. The section can never be larger than the file, so this ends.
    std::string section(64 * 1024, '\0');
    for (;;)
    {
        DWORD cb = ::GetPrivateProfileSectionA(kSection, &section[0], static_cast<DWORD>(section.size()), pszListFile);
        if (cb < section.size() - 2)
        {
            section.resize(cb);
            break;
        }
        section.assign(section.size() * 2, '\0');
    }
    // "key=value" lines, keys and values trimmed by the reader; the first line of a key counts, its case
    // aside, as for the single reads.
    std::map<std::string, CString> values;
    for (const char* p = section.c_str(); *p; p += strlen(p) + 1)
    {
        const char* pEquals = strchr(p, '=');
        std::string key(p, pEquals ? pEquals : p + strlen(p));
        for (char& ch : key)
            ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch);
        values.emplace(key, CString(pEquals ? pEquals + 1 : ""));
    }

    const bool bAsciiKeys = !HasNonAsciiKey(values);
    std::vector<CString> entries;
    entries.reserve(nCount);
    for (UINT i = 1; i <= nCount; ++i)
    {
        auto it = values.find("file" + std::to_string(static_cast<int>(i)));
        const CString strValue = it == values.end() ? CString() : it->second;
        // The single read takes quotation marks off a value and cuts it in its own way; a value it could
        // treat so is read that way instead, and so is every entry when a key is not plain ASCII, whose
        // case the reader may fold differently.
        bool bPlain = strValue.GetLength() <= LIST_ENTRY_MAX &&
                      (strValue.IsEmpty() || (strValue.GetAt(0) != '"' && strValue.GetAt(0) != '\''));
        if (bPlain && bAsciiKeys)
            entries.push_back(strValue);
        else
            entries.push_back(ReadListEntry(pszListFile, i));
    }
    return entries;
}

void SplitListEntry(const CString& strValue, CString& strSource, CString& strDest)
{
    strSource = strValue.SpanExcluding(",");
    strDest = strSource.GetLength() < strValue.GetLength() ? strValue.Mid(strSource.GetLength() + 1) : CString();
}

BOOL IsContainedRelativePath(LPCSTR pszPart)
{
    if (!pszPart)
        return FALSE;
    if (IsSeparator(*pszPart))
        return FALSE;
    // A colon makes a drive ("C:x") or an alternate stream; neither is a file below the folder.
    if (FindCharMbcs(pszPart, ':'))
        return FALSE;
    // Component by component, character-wise: a trail byte 0x5C ends no component.
    const char* pComponent = pszPart;
    for (const char* p = pszPart;; p = ::CharNextA(p))
    {
        if (*p == '\0' || IsSeparator(*p))
        {
            if (p - pComponent == 2 && pComponent[0] == '.' && pComponent[1] == '.')
                return FALSE;
            if (*p == '\0')
                return TRUE;
            pComponent = p + 1;
        }
    }
}

UINT EntryProgress(UINT nEntry, UINT nCount)
{
    return nCount == 0 ? 5u : 5u + (50u * nEntry) / nCount;
}

ListEntryPaths ListEntryPathsOf(const CString& strValue, const CString& strModuleDir, const CString& strTarget)
{
    CString strSourcePart, strDestPart;
    SplitListEntry(strValue, strSourcePart, strDestPart);
    ListEntryPaths paths;
    paths.strSource = strModuleDir + strSourcePart;
    paths.strDestFolder = strTarget + strDestPart;
    if (!strDestPart.IsEmpty())
        paths.strDestFolder += '\\';
    const char* pszSource = paths.strSource;
    const char* pSlash = FindLastCharMbcs(pszSource, '\\');
    paths.strDest = paths.strDestFolder + (pSlash ? pSlash + 1 : pszSource);
    paths.bContained = IsContainedRelativePath(strSourcePart) && IsContainedRelativePath(strDestPart);
    return paths;
}
