#include "WebInstallDlg.h"

#include "AboutDlg.h"
#include "FolderPicker.h"
#include "MbcsPath.h"
#include "ModulePaths.h"
#include "PackagePicker.h"
#include "SiteAddress.h"
#include "SiteInfo.h"
#include "SiteLinkEdit.h"
#include "Text.h"

#include <string.h>

CWebInstallDlg::CWebInstallDlg(CWnd* pParent) : CDialog(IDD_MAIN, pParent)
{
    m_hIcon = ::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON),
                          MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_strHost = GetComputerNameText();
    m_strPort = "80";
}

void CWebInstallDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LOG, m_editLog);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
}

BEGIN_MESSAGE_MAP(CWebInstallDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_HELPINFO()
    ON_BN_CLICKED(IDC_BROWSE_FOLDER, &CWebInstallDlg::OnBrowseFolder)
    ON_BN_CLICKED(IDC_BROWSE_PACKAGE, &CWebInstallDlg::OnBrowsePackage)
    ON_CBN_SELCHANGE(IDC_SITE, &CWebInstallDlg::OnSelchangeSite)
    ON_MESSAGE(WM_DEPLOY_DONE, &CWebInstallDlg::OnDeployDone)
END_MESSAGE_MAP()

BOOL CWebInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The pane keeps the whole log: the control's default limit would silently drop lines of a long run.
    m_editLog.SetLimitText(0);
    m_run.Create(this, m_editLog.m_hWnd, m_progress.m_hWnd);

    AddAboutMenuItem();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    InitModulePaths();
    CreateSiteLink();
    EnumerateSites();
    SelectFirstSite();
    ShowFirstSiteUrl();
    ProposePackage();
    LoadCaptions();
    return TRUE;
}

void CWebInstallDlg::AddAboutMenuItem()
{
    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (!pSysMenu)
        return;
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    if (strAboutMenu.IsEmpty())
        return;
    pSysMenu->AppendMenu(MF_SEPARATOR);
    pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
}

void CWebInstallDlg::InitModulePaths()
{
    ReadModulePaths(m_szModuleDir, m_szListFile);
}

void CWebInstallDlg::EnumerateSites()
{
    WCHAR szDescription[SITE_VALUE_CCH] = {};
    WCHAR szRootPath[SITE_VALUE_CCH] = {};
    WCHAR szBinding[SITE_VALUE_CCH] = {};
    int nSite = 1;
    // A server with hundreds of sites: the list is found once (each look-up by id walks the dialog's
    // children) and not redrawn for every entry, only once when drawing resumes.
    CWnd* pSiteList = GetDlgItem(IDC_SITE);
    pSiteList->SendMessage(WM_SETREDRAW, FALSE);
    for (;; ++nSite)
    {
        // The numbering ends at the first site that cannot be read, whatever follows it.
        if (QuerySiteInfo(nSite, szDescription, szRootPath, szBinding) != S_OK)
            break;
        LRESULT nIndex = pSiteList->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideToAnsi(szDescription).GetString()));
        pSiteList->SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nIndex), nSite);
        if (nSite != 1)
            continue;
        ApplySite(szRootPath, szBinding);
        m_bWebServerFound = TRUE;
    }
    pSiteList->SendMessage(WM_SETREDRAW, TRUE);
    if (nSite != 1)
        return;

    m_bWebServerFound = FALSE;
    CString strNoSite;
    strNoSite.LoadString(IDS_NO_WEBSITE);
    // The entry stands where site 1 would: choosing it asks for site 1 again.
    LRESULT nIndex = pSiteList->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strNoSite.GetString()));
    pSiteList->SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nIndex), 1);
    AppendLogMessage(IDS_NO_WEB_SERVER);
    AfxMessageBox(IDS_NO_WEB_SERVER, MB_OK, static_cast<UINT>(-1));
}

void CWebInstallDlg::SelectFirstSite()
{
    // CB_SETCURSEL sends no CBN_SELCHANGE: site 1's values came from the enumeration.
    SendDlgItemMessage(IDC_SITE, CB_SETCURSEL, 0);
}

void CWebInstallDlg::CreateSiteLink()
{
    // Placed from the label's template rectangle: its caption changes only later.
    CRect rect;
    GetDlgItem(IDC_LABEL_URL)->GetWindowRect(&rect);
    ScreenToClient(&rect);
    rect.OffsetRect(rect.Width() + 15, -1);
    rect.right += 160;
    m_link.Create(WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY, rect, this, IDC_SITE_LINK);
}

void CWebInstallDlg::ShowFirstSiteUrl()
{
    SetDlgItemText(IDC_SITE_LINK, BuildSiteUrl());
}

void CWebInstallDlg::ProposePackage()
{
    CString strPackage = ProposedPackage(m_szModuleDir);
    if (!strPackage.IsEmpty())
        SetDlgItemText(IDC_PACKAGE, strPackage);
}

void CWebInstallDlg::LoadCaptions()
{
    static const struct
    {
        UINT nString;
        int nControl;
    } kCaptions[] = {
        { IDS_INSTALL, IDOK },
        { IDS_EXIT, IDCANCEL },
        { IDS_BROWSE_FOLDER, IDC_BROWSE_FOLDER },
        { IDS_BROWSE_PACKAGE, IDC_BROWSE_PACKAGE },
        { IDS_LABEL_PACKAGE, IDC_LABEL_PACKAGE },
        { IDS_LABEL_FOLDER, IDC_LABEL_FOLDER },
        { IDS_LABEL_SITE, IDC_LABEL_SITE },
        // The link was placed from this label's template rectangle before its caption changes here.
        { IDS_LABEL_URL, IDC_LABEL_URL },
    };
    CString strText;
    strText.LoadString(IDS_DIALOG_TITLE);
    SetWindowText(strText);
    for (const auto& caption : kCaptions)
    {
        strText.LoadString(caption.nString);
        SetDlgItemText(caption.nControl, strText);
    }
}

void CWebInstallDlg::OnSelchangeSite()
{
    WCHAR szRootPath[SITE_VALUE_CCH] = {};
    WCHAR szBinding[SITE_VALUE_CCH] = {};
    if (QuerySiteInfo(SelectedSite(), nullptr, szRootPath, szBinding) != S_OK)
        return;
    ApplySite(szRootPath, szBinding);
}

void CWebInstallDlg::ApplySite(LPCWSTR pszRootPath, LPCWSTR pszBinding)
{
    CString strRootPath = WideToAnsi(pszRootPath);
    AppendLogMessage(IDS_SITE_ROOT_PATH, strRootPath);
    SetDlgItemText(IDC_WEB_FOLDER, ProposedFolder(strRootPath));
    SplitServerBinding(WideToAnsi(pszBinding), m_strHost, m_strPort, m_strHostHeader);
    SetDlgItemText(IDC_SITE_LINK, BuildSiteUrl());
}

void CWebInstallDlg::SetModulePaths(const char* pszModuleDir, const char* pszListFile)
{
    lstrcpynA(m_szModuleDir, pszModuleDir, sizeof(m_szModuleDir));
    lstrcpynA(m_szListFile, pszListFile, sizeof(m_szListFile));
}

int CWebInstallDlg::SelectedSite() const
{
    LRESULT nIndex = ::SendDlgItemMessageA(m_hWnd, IDC_SITE, CB_GETCURSEL, 0, 0);
    if (nIndex == CB_ERR)
        return 0;
    return static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_SITE, CB_GETITEMDATA, static_cast<WPARAM>(nIndex), 0));
}

CString CWebInstallDlg::BuildSiteUrl() const
{
    return FormatSiteUrl(m_strHost, m_strPort, m_strHostHeader);
}

void CWebInstallDlg::OnOK()
{
    // Install never ends the dialog. A click that reaches a disabled Install (a sent one) starts nothing
    // while a run is still there.
    if (m_run.IsBusy())
        return;
    CString strFolder, strPackage;
    GetDlgItemText(IDC_WEB_FOLDER, strFolder);
    GetDlgItemText(IDC_PACKAGE, strPackage);
    InstallRequest request;
    InstallRefusal refusal = CheckInstallRequest(strFolder, strPackage, request);
    if (refusal.nMessageID != 0)
    {
        AfxMessageBox(RefusalText(refusal, request), MB_OK | MB_ICONEXCLAMATION);
        if (refusal.nFocusID != 0)
            GetDlgItem(refusal.nFocusID)->SetFocus();
        return;
    }

    // The site is the one chosen when Install is pressed: a change of selection during the run does not
    // move the virtual directory to another site.
    request.strModuleDir = m_szModuleDir;
    request.strListFile = m_szListFile;
    request.nSite = SelectedSite();
    request.bWebServerFound = m_bWebServerFound;

    m_editLog.SetWindowText("");
    GetDlgItem(IDOK)->EnableWindow(FALSE);
    DWORD dwError = m_run.Start(request);
    if (dwError != ERROR_SUCCESS)
    {
        GetDlgItem(IDOK)->EnableWindow(TRUE);
        AfxMessageBox(SystemErrorText(dwError), MB_OK | MB_ICONSTOP);
    }
}

LRESULT CWebInstallDlg::OnDeployDone(WPARAM, LPARAM)
{
    GetDlgItem(IDOK)->EnableWindow(TRUE);
    return 0;
}

void CWebInstallDlg::OnCancel()
{
    // Exit, Esc and the close box all come here. A running deployment works on this dialog, so it is
    // stopped after its current file and waited for before the dialog may end.
    if (m_bClosing)
        return;
    m_bClosing = TRUE;
    m_run.StopAndWait();
    CDialog::OnCancel();
}

void CWebInstallDlg::OnBrowseFolder()
{
    BrowseForWebFolder(this, IDC_WEB_FOLDER);
}

void CWebInstallDlg::OnBrowsePackage()
{
    BrowseForPackage(this, IDC_PACKAGE);
}

void CWebInstallDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
        return;
    }
    CDialog::OnSysCommand(nID, lParam);
}

void CWebInstallDlg::OnPaint()
{
    if (!IsIconic())
    {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - cxIcon + 1) / 2;
    int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CWebInstallDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

BOOL CWebInstallDlg::OnHelpInfo(HELPINFO*)
{
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------------
// Log pane

void CWebInstallDlg::AppendLogCatalogue(UINT nID, ...)
{
    CString strFormat;
    strFormat.LoadString(nID);
    va_list args;
    va_start(args, nID);
    AppendLogV(strFormat, args);
    va_end(args);
}

void CWebInstallDlg::AppendLogText(const char* pszFormat, ...)
{
    if (!pszFormat)
        return;
    va_list args;
    va_start(args, pszFormat);
    AppendLogV(pszFormat, args);
    va_end(args);
}

void CWebInstallDlg::AppendLogV(const char* pszFormat, va_list args)
{
    // Formatting happens on the caller's thread; the line joins the run's queue, which the UI thread
    // empties in order, so lines of the UI thread and of a run never overwrite or overtake each other.
    char szLine[LOG_LINE_BUFFER];
    FormatLogLineV(szLine, pszFormat, args);
    m_run.ShowLine(szLine);
}
