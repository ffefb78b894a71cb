#include "ListFile.h"

#include "MbcsPath.h"

#include <stdio.h>

namespace {

const char kSection[] = "FileList";

bool IsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

} // namespace

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
    char szKey[16];
    snprintf(szKey, sizeof(szKey), "File%d", static_cast<int>(nEntry));
    char szValue[LIST_ENTRY_MAX + 1] = {};
    ::GetPrivateProfileStringA(kSection, szKey, "", szValue, sizeof(szValue), pszListFile);
    return CString(szValue);
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
