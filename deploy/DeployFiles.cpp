#include "DeployFiles.h"

#include "MbcsPath.h"
#include "Text.h"
#include "UniqueHandle.h"
#include "resource.h"

#include <stdio.h>

#include <atomic>

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

std::atomic<unsigned> g_nTempCounter{0};

// A name in the folder that no one else uses: the process id and a counter of this process keep names
// apart, and nothing is ever made over an existing name. Kept short, so it fits wherever the destination
// does.
CString UniqueName(const CString& strFolder, LPCSTR pszKind)
{
    char szName[40];
    snprintf(szName, sizeof(szName), "zem%lx_%x.%s", ::GetCurrentProcessId(), g_nTempCounter++, pszKind);
    return strFolder + szName;
}

DWORD CopyToTemporary(LPCSTR pszSource, const CString& strFolder, CString& strTemp)
{
    DWORD dwError = ERROR_FILE_EXISTS;
    for (int nTry = 0; nTry < 16 && dwError == ERROR_FILE_EXISTS; ++nTry)
    {
        strTemp = UniqueName(strFolder, "tmp");
        dwError = ::CopyFileA(pszSource, strTemp, TRUE) ? ERROR_SUCCESS : ::GetLastError();
    }
    return dwError;
}

// Puts the finished copy in place. What may stand in the way is looked at only when the rename fails: a
// read-only file, or an empty folder bearing the name.
BOOL MoveIntoPlace(LPCSTR pszTemp, LPCSTR pszDest, BOOL bRemoveEmptyFolder)
{
    if (::MoveFileExA(pszTemp, pszDest, MOVEFILE_REPLACE_EXISTING))
        return TRUE;
    DWORD dwError = ::GetLastError();
    DWORD dwAttributes = ::GetFileAttributesA(pszDest);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
    {
        ::SetLastError(dwError);
        return FALSE;
    }
    if (!(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        ::SetFileAttributesA(pszDest, FILE_ATTRIBUTE_NORMAL);
    else if (bRemoveEmptyFolder)
        ::RemoveDirectoryA(pszDest);
    return ::MoveFileExA(pszTemp, pszDest, MOVEFILE_REPLACE_EXISTING);
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

DWORD ReplaceCopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder, LPCSTR pszWorkFolder)
{
    CString strDestFolder = FolderOf(pszDest);
    CString strTemp;
    DWORD dwError = CopyToTemporary(pszSource, pszWorkFolder ? CString(pszWorkFolder) : strDestFolder, strTemp);
    // The platform's copy may leave what it wrote (a full disk); a name it did not find taken is ours.
    bool bTempMade = dwError != ERROR_FILE_EXISTS;
    if (dwError == ERROR_SUCCESS)
    {
        if (MoveIntoPlace(strTemp, pszDest, bRemoveEmptyFolder))
            return ERROR_SUCCESS;
        dwError = ::GetLastError();
    }
    if (bTempMade)
    {
        ::SetFileAttributesA(strTemp, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(strTemp);
    }
    return ::GetFileAttributesA(strDestFolder) == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : dwError;
}

CWorkFolder::CWorkFolder(LPCSTR pszParent)
{
    CString strPath = UniqueName(pszParent, "tmp\\");
    if (::CreateDirectoryA(strPath, nullptr))
        m_strPath = strPath;
}

CWorkFolder::~CWorkFolder()
{
    // Each copy took its file away, whether it was put in place or failed.
    if (!m_strPath.IsEmpty())
        ::RemoveDirectoryA(m_strPath);
}

std::wstring ResolvedFolder(LPCSTR pszFolder)
{
    FileHandle folder(::CreateFileW(AnsiToWide(pszFolder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        return std::wstring();
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;)
    {
        DWORD cch = ::GetFinalPathNameByHandleW(folder.Get(), &strPath[0], static_cast<DWORD>(strPath.size()), 0);
        if (cch == 0)
            return std::wstring();
        if (cch < strPath.size())
        {
            strPath.resize(cch);
            return strPath;
        }
        strPath.resize(cch);
    }
}

BOOL IsResolvedInside(const std::wstring& strFolder, const std::wstring& strRoot)
{
    if (strFolder.empty() || strRoot.empty() || strFolder.size() < strRoot.size())
        return FALSE;
    if (::CompareStringOrdinal(strFolder.c_str(), static_cast<int>(strRoot.size()), strRoot.c_str(),
                               static_cast<int>(strRoot.size()), TRUE) != CSTR_EQUAL)
        return FALSE;
    // The root itself, or a name below it: "C:\web" does not hold "C:\webs".
    return strFolder.size() == strRoot.size() || strRoot.back() == L'\\' || strFolder[strRoot.size()] == L'\\';
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
