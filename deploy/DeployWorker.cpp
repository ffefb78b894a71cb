#include "DeployWorker.h"

#include "DeployFiles.h"
#include "ListFile.h"
#include "MbcsPath.h"
#include "VirtualDir.h"
#include "WebInstallDlg.h"

#include <string>

namespace {

const char kVirtualDirName[] = "Zem";
const WCHAR kDefaultDocuments[] = L"ZemWeb.htm,default.htm";

std::wstring AnsiToWide(LPCSTR psz)
{
    int cch = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (cch <= 1)
        return std::wstring();
    std::wstring str(static_cast<size_t>(cch), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, psz, -1, &str[0], cch);
    str.resize(static_cast<size_t>(cch - 1));
    return str;
}

// One run. Controls are reached through their windows only: each message is handled by the dialog's
// thread while this one waits, and no framework object is made for them on this thread.
class CDeployment
{
public:
    explicit CDeployment(CWebInstallDlg& dlg) : m_dlg(dlg) {}

    DWORD Run();

private:
    CString ItemText(int nID) const;
    void SetProgress(UINT nPos) { ::SendMessageA(m_dlg.m_progress.m_hWnd, PBM_SETPOS, nPos, 0); }
    BOOL Stopping() const { return m_dlg.IsDeployStopRequested(); }

    BOOL CreateVirtualDir();
    UINT ReadEntryCount();
    void CopyEntry(const CString& strValue);
    void CopyLogged(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder);
    void LogFailure(DWORD dwError);

    CWebInstallDlg& m_dlg;
    CString m_strFolder;
    int m_nFailures = 0;
};

CString CDeployment::ItemText(int nID) const
{
    HWND hItem = ::GetDlgItem(m_dlg.m_hWnd, nID);
    int cb = ::GetWindowTextLengthA(hItem);
    CString str;
    ::GetWindowTextA(hItem, str.GetBuffer(cb + 1), cb + 1);
    str.ReleaseBuffer();
    return str;
}

DWORD CDeployment::Run()
{
    SetProgress(0);
    // Install checked the trimmed texts, so the run uses those; the folder gets its closing backslash.
    m_strFolder = TargetFolderPath(ItemText(IDC_WEB_FOLDER));
    CString strPackage = ItemText(IDC_PACKAGE);
    strPackage.Trim();

    m_dlg.AppendLogMessage(IDS_CREATE_ROOT, static_cast<LPCSTR>(m_strFolder));
    if (!CreateDirectoryTree(m_strFolder))
    {
        m_dlg.AppendLogMessage(IDS_CANNOT_CREATE_DIR, static_cast<LPCSTR>(m_strFolder));
        CString strText;
        strText.Format(IDS_CANNOT_CREATE_DIR, static_cast<LPCSTR>(m_strFolder));
        if (!Stopping())
            AfxMessageBox(strText, MB_OK);
        return 0;
    }
    SetProgress(5);

    if (m_dlg.m_bWebServerFound)
    {
        if (!CreateVirtualDir())
            return 0;
        SetProgress(7);
    }

    m_dlg.AppendLogMessage(IDS_COPYING_FILES);
    UINT nCount = ReadEntryCount();
    for (UINT i = 1; i <= nCount; ++i)
    {
        if (Stopping())
            return 0;
        CString strValue = ReadListEntry(m_dlg.m_szListFile, i);
        if (!strValue.IsEmpty())
        {
            // An entry without a source part is no entry at all: it leaves no step on the bar either.
            if (strValue.GetAt(0) == ',')
                continue;
            CopyEntry(strValue);
        }
        SetProgress(EntryProgress(i, nCount));
    }
    if (Stopping())
        return 0;

    CString strPackageName;
    strPackageName.LoadString(IDS_PACKAGE_FILE_NAME);
    CString strDest = m_strFolder + strPackageName;
    m_dlg.AppendLogText("%s", static_cast<LPCSTR>(strDest));
    CopyLogged(strPackage, strDest, FALSE);
    SetProgress(80);

    UINT nVerdict = m_nFailures == 0 ? IDS_SETUP_FINISHED : IDS_SETUP_FAILED;
    m_dlg.AppendLogMessage(nVerdict);
    SetProgress(100);
    if (!Stopping())
        AfxMessageBox(nVerdict, m_nFailures == 0 ? MB_OK | MB_ICONINFORMATION : MB_OK);
    return 1;
}

BOOL CDeployment::CreateVirtualDir()
{
    // The site list holds the sites in number order from site 1.
    int nSite = static_cast<int>(::SendDlgItemMessageA(m_dlg.m_hWnd, IDC_SITE, CB_GETCURSEL, 0, 0)) + 1;
    m_dlg.AppendLogMessage(IDS_CREATE_VDIR, kVirtualDirName, static_cast<LPCSTR>(m_strFolder));
    HRESULT hr = CreateWebVirtualDir(nSite, AnsiToWide(kVirtualDirName).c_str(), AnsiToWide(m_strFolder).c_str(),
                                     kDefaultDocuments);
    if (SUCCEEDED(hr))
        return TRUE;

    CString strError;
    if (UINT nErrorID = VirtualDirErrorID(hr))
        strError.LoadString(nErrorID);
    m_dlg.AppendLogMessage(IDS_VDIR_FAILED_LOG, kVirtualDirName, static_cast<int>(hr), static_cast<LPCSTR>(strError));
    CString strAsk;
    strAsk.Format(IDS_VDIR_FAILED_ASK, static_cast<int>(hr), static_cast<LPCSTR>(strError));
    if (Stopping())
        return FALSE;
    return AfxMessageBox(strAsk, MB_YESNO) != IDNO;
}

UINT CDeployment::ReadEntryCount()
{
    UINT nCount = ReadFilesCount(m_dlg.m_szListFile);
    UINT nBounded = BoundFilesCount(nCount);
    if (nBounded != nCount)
    {
        // No catalogue sentence says this, so the key, both numbers and the system's word for it.
        m_dlg.AppendLogText("FilesCount=%u > %u: %s", nCount, nBounded,
                            static_cast<LPCSTR>(SystemErrorText(ERROR_INVALID_DATA).TrimRight()));
    }
    return nBounded;
}

void CDeployment::CopyEntry(const CString& strValue)
{
    CString strSourcePart, strDestPart;
    SplitListEntry(strValue, strSourcePart, strDestPart);

    CString strSource = CString(m_dlg.m_szModuleDir) + strSourcePart;
    CString strDestFolder = m_strFolder + strDestPart;
    if (!strDestPart.IsEmpty())
        strDestFolder += '\\';
    // Only the file name travels: folders inside the source part are not reproduced.
    const char* pszSource = strSource;
    const char* pSlash = FindLastCharMbcs(pszSource, '\\');
    CString strDest = strDestFolder + (pSlash ? pSlash + 1 : pszSource);

    m_dlg.AppendLogText("%s", static_cast<LPCSTR>(strDest));
    // The target folder is published to the whole network: nothing may be read from outside the
    // executable's folder or written outside the target folder.
    if (!IsContainedRelativePath(strSourcePart) || !IsContainedRelativePath(strDestPart))
    {
        LogFailure(ERROR_BAD_PATHNAME);
        return;
    }
    CreateDirectoryTree(strDestFolder);
    CopyLogged(strSource, strDest, TRUE);
}

void CDeployment::CopyLogged(LPCSTR pszSource, LPCSTR pszDest, BOOL bRemoveEmptyFolder)
{
    DWORD dwError = ReplaceCopyFile(pszSource, pszDest, bRemoveEmptyFolder);
    if (dwError != ERROR_SUCCESS)
        LogFailure(dwError);
}

void CDeployment::LogFailure(DWORD dwError)
{
    m_dlg.AppendLogText("Error[%d]: %s", static_cast<int>(dwError), static_cast<LPCSTR>(SystemErrorText(dwError)));
    ++m_nFailures;
}

} // namespace

DWORD WINAPI DeployWorker(LPVOID pParam)
{
    CWebInstallDlg& dlg = *static_cast<CWebInstallDlg*>(pParam);
    DWORD dwResult = CDeployment(dlg).Run();
    ::EnableWindow(::GetDlgItem(dlg.m_hWnd, IDOK), TRUE);
    return dwResult;
}
