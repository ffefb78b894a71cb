// The file work of a deployment: folder trees, the replace-copy, where a folder really is, and the texts
// its failures are told with.
#pragma once

#include <afxwin.h>

#include <string>

// Creates every folder along the path, each prefix that ends in a backslash and then the whole path.
// The individual creations may fail (the drive's root, folders that exist); the result says whether the
// folder is there afterwards.
BOOL CreateDirectoryTree(LPCSTR pszPath);

// How long a replacement waits for a published file that others hold open.
const DWORD REPLACE_WAIT_MS = 10000;

// Copies pszSource over pszDest, replacing a read-only file, and with bRemoveEmptyFolder an empty folder
// of that name. The copy is made under a name of its own, in pszWorkFolder (ending with a backslash, on
// the destination's volume) or else beside the destination, and renamed only once it is complete: a copy
// that fails leaves what was published before untouched, and no partial file ever stands under the
// destination's name. A destination that others hold open (a web server's cache, a download, a scanner)
// is waited for up to dwWaitMs. Returns ERROR_SUCCESS or the system error code; a missing destination
// folder is told as such, whatever else went wrong.
DWORD ReplaceCopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder, LPCSTR pszWorkFolder = nullptr,
                      DWORD dwWaitMs = REPLACE_WAIT_MS);

// Removes the work folders (CWorkFolder) that earlier runs left in pszFolder, ending with a backslash, when
// they were ended from outside, as a crash or a forced log-off ends a run: only folders named as
// CWorkFolder names them, of a process that no longer runs, and only the copies such a run made in them.
// Anything else in such a folder keeps it.
void RemoveAbandonedWorkFolders(LPCSTR pszFolder);

// A folder of this run's own inside the target folder for the copies on their way: names looked up in a
// small folder are found quickly, where a folder of a thousand published files is searched name by name.
// Removed again with the owner; empty when it could not be made.
class CWorkFolder
{
public:
    explicit CWorkFolder(LPCSTR pszParent);
    CWorkFolder(const CWorkFolder&) = delete;
    CWorkFolder& operator=(const CWorkFolder&) = delete;
    ~CWorkFolder();
    LPCSTR Path() const { return m_strPath.IsEmpty() ? nullptr : static_cast<LPCSTR>(m_strPath); }

private:
    CString m_strPath;
};

// Where an existing folder really is, links and junctions followed, in the system's final form; empty
// when it cannot be opened or the system cannot tell.
std::wstring ResolvedFolder(LPCSTR pszFolder);
// What ResolvedFolder asks: GetFinalPathNameByHandleW, or a test's stand-in that fails as Windows can.
using PFN_GET_FINAL_PATH_NAME = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
extern PFN_GET_FINAL_PATH_NAME g_pfnGetFinalPathName;

// Whether the resolved folder is the resolved root or lies below it (compared without regard to case);
// never when either could not be resolved.
BOOL IsResolvedInside(const std::wstring& strFolder, const std::wstring& strRoot);

// Catalogue string that explains a failed virtual-directory creation, or 0 when the code has none.
UINT VirtualDirErrorID(HRESULT hr);
