// The main dialog: the state the program shares between its parts and the handlers of the main window.
#pragma once

#include "stdafx.h"

#include "DeployRun.h"
#include "SiteLinkEdit.h"

#include <stdarg.h>

// The main dialog: it shows the sites, proposes the folder, the package and the address, and starts an
// Install run with what its fields hold.
class CWebInstallDlg : public CDialog
{
public:
    explicit CWebInstallDlg(CWnd* pParent = nullptr);

    // Appends one line to the log pane, from any thread, and returns once it is there. AppendLogMessage
    // takes a catalogue string as its format; AppendLogText a format of the caller's (null appends
    // nothing). Hand a finished text over as the value of "%s", never as the format.
    template <typename... Args>
    void AppendLogMessage(UINT nID, const Args&... args)
    {
        AppendLogCatalogue(nID, AfxFormatArg(args)...);
    }
    void AppendLogText(const char* pszFormat, ...) AFX_PRINTF_FORMAT(2, 3);

    // The web site the list's selection stands for (each entry holds its site number), 0 with none.
    int SelectedSite() const;

    // The executable's folder (with its final backslash) and the list file beside it, in place of the
    // program's own: for a program that runs the dialog in its own process.
    void SetModulePaths(const char* pszModuleDir, const char* pszListFile);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    afx_msg void OnSelchangeSite();
    afx_msg void OnBrowseFolder();
    afx_msg void OnBrowsePackage();
    afx_msg LRESULT OnDeployDone(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void AppendLogCatalogue(UINT nID, ...);
    void AppendLogV(const char* pszFormat, va_list args);

    void AddAboutMenuItem();
    void InitModulePaths();
    void EnumerateSites();
    void SelectFirstSite();
    void CreateSiteLink();
    void ShowFirstSiteUrl();
    void ProposePackage();
    void LoadCaptions();

    // Shows a site's values: its root in the log, the folder proposed in it, and its address.
    void ApplySite(LPCWSTR pszRootPath, LPCWSTR pszBinding);
    CString BuildSiteUrl() const;

    char m_szModuleDir[MAX_PATH + 1] = {};   // the executable's folder, with the final backslash
    char m_szListFile[MAX_PATH + 1] = {};    // the list file beside the executable
    BOOL m_bWebServerFound = FALSE;          // web site 1 could be read at start-up
    CString m_strHost;
    CString m_strPort;
    CString m_strHostHeader;
    CEdit m_editLog;
    CProgressCtrl m_progress;
    HICON m_hIcon = nullptr;
    CSiteLinkEdit m_link;
    CDeployRun m_run;
    BOOL m_bClosing = FALSE;
};
