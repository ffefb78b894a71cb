// The main dialog: the state the program shares between its parts and the handlers of the main window.
#pragma once

#include "stdafx.h"

#include "DeployThread.h"

#include <stdarg.h>

class CSiteLinkEdit;

class CWebInstallDlg : public CDialog
{
public:
    explicit CWebInstallDlg(CWnd* pParent = nullptr);
    ~CWebInstallDlg() override;

    // Appends one line to the log pane, from any thread. AppendLogMessage takes a catalogue string as its
    // format; AppendLogText a format of the caller's (null appends nothing). Hand a finished text over as
    // the value of "%s", never as the format.
    void AppendLogMessage(UINT nID, ...);
    void AppendLogText(const char* pszFormat, ...);

    // The running deployment asks this between files: closing the dialog stops it there.
    BOOL IsDeployStopRequested() const { return m_deployThread.IsStopRequested(); }

    char m_szModuleDir[MAX_PATH + 1];   // the executable's folder, with the final backslash
    char m_szListFile[MAX_PATH + 1];    // the list file beside the executable
    BOOL m_bWebServerFound;             // web site 1 could be read at start-up
    CString m_strHost;
    CString m_strPort;
    CString m_strHostHeader;
    CEdit m_editLog;
    CProgressCtrl m_progress;
    HICON m_hIcon;
    CSiteLinkEdit* m_pLink;

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
    afx_msg LRESULT OnAppendLog(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void AppendLogV(const char* pszFormat, va_list args);

    void AddAboutMenuItem();
    void InitModulePaths();
    void EnumerateSites();
    void SelectFirstSite();
    void CreateSiteLink();
    void ShowFirstSiteUrl();
    void ProposePackage();
    void LoadCaptions();

    void ParseServerBindings(const char* pszBinding);
    CString BuildSiteUrl() const;

    CDeployThread m_deployThread;
    BOOL m_bClosing = FALSE;
};
