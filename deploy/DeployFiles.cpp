#include "DeployFiles.h"

#include "MbcsPath.h"
#include "MetabaseErrors.h"
#include "Text.h"
#include "UniqueHandle.h"
#include "resource.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <atomic>
#include <vector>

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

std::atomic<unsigned> g_nTempCounter{ 0 };

// A name in the folder that no one else uses: the process id and a counter of this process keep names
// apart, and nothing is ever made over an existing name. Kept short, so it fits wherever the destination
// does.
CString UniqueName(const CString& strFolder, LPCSTR pszKind)
{
    CString strName;
    strName.Format("zem%lx_%x.%s", ::GetCurrentProcessId(), g_nTempCounter++, pszKind);
    return strFolder + strName;
}

// The process that made a name UniqueName gave with the kind "tmp"; 0 for any other name.
DWORD MakerOfName(const wchar_t* pszName)
{
    unsigned long ulProcess = 0, ulCounter = 0;
    int nEnd = 0;
    wchar_t szCheck[32];
    if (swscanf(pszName, L"zem%lx_%lx.tmp%n", &ulProcess, &ulCounter, &nEnd) != 2 || pszName[nEnd] != L'\0')
        return 0;
    // Only the very text UniqueName writes: no sign, no leading zeros, no upper case.
    swprintf(szCheck, 32, L"zem%lx_%lx.tmp", ulProcess, ulCounter);
    return wcscmp(szCheck, pszName) == 0 ? static_cast<DWORD>(ulProcess) : 0;
}

// Whether the process that made something at ftMade may still run. A process of that id started later is
// another one, the id having been given again; one this process may not look at is taken to run.
bool IsMakerRunning(DWORD dwProcessId, const FILETIME& ftMade)
{
    KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, dwProcessId));
    if (!process)
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    FILETIME ftStarted, ftEnded, ftKernel, ftUser;
    if (::WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT)
        return false;
    return !::GetProcessTimes(process.Get(), &ftStarted, &ftEnded, &ftKernel, &ftUser) ||
           ::CompareFileTime(&ftStarted, &ftMade) <= 0;
}

// The path in the form the wide functions take past MAX_PATH. The ANSI ones refuse a name that long even
// where the platform could make a file under it, and what this code makes it must be able to remove.
std::wstring LongPath(LPCSTR pszPath)
{
    std::wstring strPath = AnsiToWide(pszPath);
    std::wstring strFull(::GetFullPathNameW(strPath.c_str(), 0, nullptr, nullptr), L'\0');
    strFull.resize(::GetFullPathNameW(strPath.c_str(), static_cast<DWORD>(strFull.size()), &strFull[0], nullptr));
    if (strFull.empty())
        return strPath;
    if (strFull.compare(0, 4, L"\\\\?\\") == 0)
        return strFull;
    if (strFull.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + strFull.substr(2);
    return L"\\\\?\\" + strFull;
}

void RemoveOurFile(const std::wstring& strLongPath)
{
    ::SetFileAttributesW(strLongPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(strLongPath.c_str());
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

// Errors of a file that someone holds open: IIS's file cache, a client downloading the package, a
// scanner looking at a file just written. They let go after a while.
bool IsHeldError(DWORD dwError)
{
    return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_ACCESS_DENIED || dwError == ERROR_LOCK_VIOLATION;
}

// FILE_RENAME_INFO as FileRenameInfoEx reads it: the flags stand where ReplaceIfExists does in the older
// record, which is all this build's headers declare.
struct RenameInfoEx
{
    DWORD Flags;
    HANDLE RootDirectory;
    DWORD FileNameLength;
    WCHAR FileName[1];
};
static_assert(offsetof(RenameInfoEx, RootDirectory) == offsetof(FILE_RENAME_INFO, RootDirectory) &&
                  offsetof(RenameInfoEx, FileName) == offsetof(FILE_RENAME_INFO, FileName),
              "the record FileRenameInfoEx reads");
const DWORD kRenameReplaceIfExists = 0x1;   // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
const DWORD kRenamePosixSemantics = 0x2;    // FILE_RENAME_FLAG_POSIX_SEMANTICS
// FileRenameInfoEx, declared by these headers only for builds that require Windows 10.
const auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// The rename that lets those who read the old file go on reading it while every new open gets the new
// one (Windows 10 1809 and Windows Server 2019 onwards, and only where the holders share delete, as
// downloads and scanners do). Older systems and other file systems do not know it, and say so.
BOOL PosixRename(LPCSTR pszTemp, LPCSTR pszDest)
{
    FileHandle file(::CreateFileW(AnsiToWide(pszTemp).c_str(), DELETE | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return FALSE;
    std::wstring strDest = AnsiToWide(pszDest);
    std::vector<BYTE> buffer(sizeof(RenameInfoEx) + strDest.size() * sizeof(WCHAR));
    auto* pInfo = reinterpret_cast<RenameInfoEx*>(buffer.data());
    pInfo->Flags = kRenameReplaceIfExists | kRenamePosixSemantics;
    pInfo->FileNameLength = static_cast<DWORD>(strDest.size() * sizeof(WCHAR));
    memcpy(pInfo->FileName, strDest.c_str(), (strDest.size() + 1) * sizeof(WCHAR));
    return ::SetFileInformationByHandle(file.Get(), kFileRenameInfoEx, pInfo, static_cast<DWORD>(buffer.size()));
}

// Puts the finished copy in place. What may stand in the way is looked at only when the rename fails: a
// read-only file, an empty folder bearing the name, or a file that others hold open, which is waited for
// with growing pauses up to dwWaitMs. The error is the last rename's.
BOOL MoveIntoPlace(LPCSTR pszTemp, LPCSTR pszDest, BOOL bRemoveEmptyFolder, DWORD dwWaitMs)
{
    const ULONGLONG ullGiveUp = ::GetTickCount64() + dwWaitMs;
    bool bAttributesCleared = false;
    for (DWORD dwPause = 20;; dwPause = std::min<DWORD>(dwPause * 2, 500))
    {
        if (::MoveFileExA(pszTemp, pszDest, MOVEFILE_REPLACE_EXISTING))
            return TRUE;
        DWORD dwError = ::GetLastError();
        if (IsHeldError(dwError) && PosixRename(pszTemp, pszDest))
            return TRUE;
        DWORD dwAttributes = ::GetFileAttributesA(pszDest);
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            // Only an empty folder, and only for a list entry, gives way; no wait helps the others.
            if (!bRemoveEmptyFolder || !::RemoveDirectoryA(pszDest))
            {
                ::SetLastError(dwError);
                return FALSE;
            }
            continue;
        }
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && !bAttributesCleared)
        {
            ::SetFileAttributesA(pszDest, FILE_ATTRIBUTE_NORMAL);
            bAttributesCleared = true;
            continue;
        }
        if (!IsHeldError(dwError) || ::GetTickCount64() >= ullGiveUp)
        {
            ::SetLastError(dwError);
            return FALSE;
        }
        ::Sleep(dwPause);
    }
}

}   // namespace

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

DWORD ReplaceCopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder, LPCSTR pszWorkFolder, DWORD dwWaitMs)
{
    CString strDestFolder = FolderOf(pszDest);
    CString strTemp;
    DWORD dwError = CopyToTemporary(pszSource, pszWorkFolder ? CString(pszWorkFolder) : strDestFolder, strTemp);
    // The platform's copy may leave what it wrote (a full disk); a name it did not find taken is ours.
    bool bTempMade = dwError != ERROR_FILE_EXISTS;
    if (dwError == ERROR_SUCCESS)
    {
        if (MoveIntoPlace(strTemp, pszDest, bRemoveEmptyFolder, dwWaitMs))
            return ERROR_SUCCESS;
        dwError = ::GetLastError();
    }
    if (bTempMade)
        RemoveOurFile(LongPath(strTemp));
    return ::GetFileAttributesA(strDestFolder) == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : dwError;
}

void RemoveAbandonedWorkFolders(LPCSTR pszFolder)
{
    const std::wstring strFolder = LongPath(pszFolder);
    WIN32_FIND_DATAW folder;
    FindHandle folders(::FindFirstFileW((strFolder + L"zem*.tmp").c_str(), &folder));
    for (bool bMore = bool(folders); bMore; bMore = ::FindNextFileW(folders.Get(), &folder))
    {
        DWORD dwMaker = MakerOfName(folder.cFileName);
        if (!(folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !dwMaker || IsMakerRunning(dwMaker, folder.ftCreationTime))
            continue;
        const std::wstring strWork = strFolder + folder.cFileName + L"\\";
        WIN32_FIND_DATAW copy;
        FindHandle copies(::FindFirstFileW((strWork + L"zem*.tmp").c_str(), &copy));
        for (bool bMoreCopies = bool(copies); bMoreCopies; bMoreCopies = ::FindNextFileW(copies.Get(), &copy))
        {
            if (!(copy.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && MakerOfName(copy.cFileName) == dwMaker)
                RemoveOurFile(strWork + copy.cFileName);
        }
        ::RemoveDirectoryW(strWork.c_str());
    }
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

PFN_GET_FINAL_PATH_NAME g_pfnGetFinalPathName = &::GetFinalPathNameByHandleW;

std::wstring ResolvedFolder(LPCSTR pszFolder)
{
    FileHandle folder(::CreateFileW(AnsiToWide(pszFolder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        return std::wstring();
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;)
    {
        DWORD cch = g_pfnGetFinalPathName(folder.Get(), &strPath[0], static_cast<DWORD>(strPath.size()), 0);
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
    switch (hr)
    {
    case HR_PATH_NOT_FOUND: return IDS_ERR_PATH_NOT_FOUND;
    case HR_ACCESS_DENIED: return IDS_ERR_ACCESS_DENIED;
    case HR_PATH_BUSY: return IDS_ERR_PATH_BUSY;
    case HR_ALREADY_EXISTS: return IDS_ERR_ALREADY_EXISTS;
    default: return 0;
    }
}
