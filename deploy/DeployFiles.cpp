#include "DeployFiles.h"

#include "MbcsPath.h"
#include "resource.h"

namespace {

BOOL IsFolder(LPCSTR pszPath)
{
    DWORD dwAttributes = ::GetFileAttributesA(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Folder part of a path, up to and including its last backslash; empty when it has none.
CString FolderOf(LPCSTR pszPath)
{
    const char* pSlash = FindLastCharMbcs(pszPath, '\\');
    return pSlash ? CString(pszPath, static_cast<int>(pSlash - pszPath + 1)) : CString();
}

} // namespace

BOOL CreateDirectoryTree(LPCSTR pszPath)
{
    if (!pszPath || *pszPath == '\0')
        return FALSE;
    for (const char* pSlash = FindCharMbcs(pszPath, '\\'); pSlash; pSlash = FindCharMbcs(pSlash + 1, '\\'))
    {
        CString strPrefix(pszPath, static_cast<int>(pSlash - pszPath + 1));
        ::CreateDirectoryA(strPrefix, nullptr);
    }
    const char* pLast = FindLastCharMbcs(pszPath, '\\');
    if (!pLast || pLast[1] != '\0')
        ::CreateDirectoryA(pszPath, nullptr);
    return IsFolder(pszPath);
}

DWORD ReplaceCopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder)
{
    // The temporary file lives in the destination's folder, so the final step is a rename on one volume.
    CString strFolder = FolderOf(pszDest);
    char szTemp[MAX_PATH + 1] = {};
    LPCSTR pszFolder = strFolder.IsEmpty() ? "." : static_cast<LPCSTR>(strFolder);
    if (!::GetTempFileNameA(pszFolder, "zem", 0, szTemp))
    {
        // A missing folder is told as such, the way the copy itself would have failed.
        DWORD dwError = ::GetLastError();
        return ::GetFileAttributesA(pszFolder) == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : dwError;
    }
    if (!::CopyFileA(pszSource, szTemp, FALSE))
    {
        DWORD dwError = ::GetLastError();
        ::DeleteFileA(szTemp);
        return dwError;
    }
    // Only now that the new file is complete does the old one go.
    ::SetFileAttributesA(pszDest, FILE_ATTRIBUTE_NORMAL);
    if (bRemoveEmptyFolder)
        ::RemoveDirectoryA(pszDest);
    if (!::MoveFileExA(szTemp, pszDest, MOVEFILE_REPLACE_EXISTING))
    {
        DWORD dwError = ::GetLastError();
        ::SetFileAttributesA(szTemp, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(szTemp);
        return dwError;
    }
    return ERROR_SUCCESS;
}

CString SystemErrorText(DWORD dwError)
{
    char* pszText = nullptr;
    DWORD cch = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 nullptr, dwError, 0, reinterpret_cast<LPSTR>(&pszText), 0, nullptr);
    CLocalBuffer text(pszText);
    return cch && text ? CString(text.get(), static_cast<int>(cch)) : CString();
}

UINT VirtualDirErrorID(HRESULT hr)
{
    switch (static_cast<DWORD>(hr))
    {
    case 0x80070003: return IDS_ERR_PATH_NOT_FOUND;
    case 0x80070005: return IDS_ERR_ACCESS_DENIED;
    case 0x80070094: return IDS_ERR_PATH_BUSY;
    case 0x800700B7: return IDS_ERR_ALREADY_EXISTS;
    default: return 0;
    }
}

CString TargetFolderPath(const CString& strFieldText)
{
    CString strFolder = strFieldText;
    strFolder.Trim();
    const char* pszFolder = strFolder;
    const char* pLast = FindLastCharMbcs(pszFolder, '\\');
    if (!pLast || pLast[1] != '\0')
        strFolder += '\\';
    return strFolder;
}
