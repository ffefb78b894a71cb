#include "DeployWorker.h"

#include "DeployFiles.h"
#include "ListFile.h"
#include "Text.h"
#include "VirtualDir.h"
#include "resource.h"

#include <map>
#include <string>

namespace {

const char kDefaultDocuments[] = "ZemWeb.htm,default.htm";

// A destination that would leave the target folder, by its text or through a link or junction inside
// it, is refused as a failed copy with this code.
const DWORD kOutsideTarget = ERROR_BAD_PATHNAME;

template <typename... Args>
CString Message(UINT nID, const Args&... args)
{
    CString str;
    str.Format(nID, args...);
    return str;
}

class CDeployment
{
public:
    CDeployment(const InstallRequest& request, IDeployEvents& events) : m_request(request), m_events(events) {}

    DWORD Run();

private:
    void Log(LPCSTR pszLine) { m_events.LogLine(pszLine); }
    BOOL CreateVirtualDir();
    UINT ReadEntryCount();
    void CopyEntry(const CString& strValue);
    BOOL PrepareFolder(const CString& strFolder);
    void CopyLogged(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder);
    void LogFailure(DWORD dwError);

    const InstallRequest& m_request;
    IDeployEvents& m_events;
    const CString& m_strFolder = m_request.strFolder;
    std::wstring m_strResolvedTarget;
    LPCSTR m_pszWorkFolder = nullptr;
    std::map<CString, BOOL> m_preparedFolders;   // folder below the target: whether it lies inside it
    int m_nFailures = 0;
};

DWORD CDeployment::Run()
{
    m_events.Progress(0);
    Log(Message(IDS_CREATE_ROOT, m_strFolder));
    if (!CreateDirectoryTree(m_strFolder))
    {
        Log(Message(IDS_CANNOT_CREATE_DIR, m_strFolder));
        if (!m_events.IsStopRequested())
            m_events.ShowVerdict(Message(IDS_CANNOT_CREATE_DIR, QuoteForMessage(m_strFolder)), MB_OK);
        return 0;
    }
    m_strResolvedTarget = ResolvedFolder(m_strFolder);
    RemoveAbandonedWorkFolders(m_strFolder);
    CWorkFolder workFolder(m_strFolder);
    m_pszWorkFolder = workFolder.Path();
    m_events.Progress(5);

    if (m_request.bWebServerFound)
    {
        if (!CreateVirtualDir())
            return 0;
        m_events.Progress(7);
    }

    Log(Message(IDS_COPYING_FILES));
    UINT nCount = ReadEntryCount();
    std::vector<CString> entries = ReadListEntries(m_request.strListFile, nCount);
    for (UINT i = 1; i <= nCount; ++i)
    {
        if (m_events.IsStopRequested())
            return 0;
        const CString& strValue = entries[i - 1];
        if (!strValue.IsEmpty())
        {
            // An entry without a source part is no entry at all: it leaves no step on the bar either.
            if (strValue.GetAt(0) == ',')
                continue;
            CopyEntry(strValue);
        }
        m_events.Progress(EntryProgress(i, nCount));
    }
    if (m_events.IsStopRequested())
        return 0;

    CString strPackageName;
    strPackageName.LoadString(IDS_PACKAGE_FILE_NAME);
    CString strDest = m_strFolder + strPackageName;
    Log(strDest);
    CopyLogged(m_request.strPackage, strDest, FALSE);
    m_events.Progress(80);

    UINT nVerdict = m_nFailures == 0 ? IDS_SETUP_FINISHED : IDS_SETUP_FAILED;
    CString strVerdict;
    strVerdict.LoadString(nVerdict);
    Log(strVerdict);
    m_events.Progress(100);
    if (!m_events.IsStopRequested())
        m_events.ShowVerdict(strVerdict, m_nFailures == 0 ? MB_OK | MB_ICONINFORMATION : MB_OK);
    return 1;
}

BOOL CDeployment::CreateVirtualDir()
{
    Log(Message(IDS_CREATE_VDIR, VIRTUAL_DIR_NAME, m_strFolder));
    HRESULT hr = CreateWebVirtualDir(m_request.nSite, VIRTUAL_DIR_NAME, m_strFolder, kDefaultDocuments);
    if (SUCCEEDED(hr))
        return TRUE;

    CString strError;
    if (UINT nErrorID = VirtualDirErrorID(hr))
        strError.LoadString(nErrorID);
    Log(Message(IDS_VDIR_FAILED_LOG, VIRTUAL_DIR_NAME, static_cast<int>(hr), strError));
    if (m_events.IsStopRequested())
        return FALSE;
    return m_events.AskYesNo(Message(IDS_VDIR_FAILED_ASK, static_cast<int>(hr), strError), hr);
}

UINT CDeployment::ReadEntryCount()
{
    UINT nCount = ReadFilesCount(m_request.strListFile);
    UINT nBounded = BoundFilesCount(nCount);
    if (nBounded != nCount)
    {
        // No catalogue sentence says this, so the key, both numbers and the system's word for it.
        CString strText = SystemErrorText(ERROR_INVALID_DATA);
        CString strLine;
        strLine.Format("FilesCount=%u > %u: %s", nCount, nBounded, strText.TrimRight().GetString());
        Log(strLine);
    }
    return nBounded;
}

void CDeployment::CopyEntry(const CString& strValue)
{
    ListEntryPaths paths = ListEntryPathsOf(strValue, m_request.strModuleDir, m_strFolder);
    Log(paths.strDest);
    // The target folder is published to the whole network: nothing may be read from outside the
    // executable's folder or written outside the target folder.
    if (!paths.bContained || !PrepareFolder(paths.strDestFolder))
    {
        LogFailure(kOutsideTarget);
        return;
    }
    CopyLogged(paths.strSource, paths.strDest, TRUE);
}

// Creates a destination folder below the target, folder by folder, and tells whether it really lies
// inside the target folder. Each folder on the way is looked at before anything is made inside it, so a
// link or junction on the way is found before a folder could be made at its far end. A folder whose final
// path cannot be had counts as outside: on Windows that is a junction to a volume without a drive letter,
// or a share with a part that may not be read, just the ways out. Each folder is done once a run.
BOOL CDeployment::PrepareFolder(const CString& strFolder)
{
    const char* pszFolder = strFolder;
    for (const char* p = pszFolder + m_strFolder.GetLength(); *p; p = ::CharNextA(p))
    {
        if (*p != '\\' && *p != '/')
            continue;
        CString strPrefix(pszFolder, static_cast<int>(p + 1 - pszFolder));
        auto it = m_preparedFolders.find(strPrefix);
        if (it == m_preparedFolders.end())
        {
            ::CreateDirectoryA(strPrefix, nullptr);
            std::wstring strResolved = ResolvedFolder(strPrefix);
            BOOL bInside = IsResolvedInside(strResolved, m_strResolvedTarget);
            it = m_preparedFolders.emplace(strPrefix, bInside).first;
        }
        if (!it->second)
            return FALSE;
    }
    return TRUE;
}

void CDeployment::CopyLogged(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder)
{
    DWORD dwError = ReplaceCopyFile(pszSource, pszDest, bRemoveEmptyFolder, m_pszWorkFolder);
    if (dwError != ERROR_SUCCESS)
        LogFailure(dwError);
}

void CDeployment::LogFailure(DWORD dwError)
{
    CString strLine;
    strLine.Format("Error[%d]: %s", static_cast<int>(dwError), SystemErrorText(dwError).GetString());
    Log(strLine);
    ++m_nFailures;
}

}   // namespace

DWORD DeployWorker(const InstallRequest& request, IDeployEvents& events)
{
    return CDeployment(request, events).Run();
}
