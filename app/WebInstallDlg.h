// The main dialog: the state the program shares between its parts and the handlers of the main window.
#pragma once

#include "stdafx.h"

#include "DeployThread.h"
#include "DeployWorker.h"
#include "LogPane.h"

#include <stdarg.h>

class CSiteLinkEdit;

// The dialog is also the events of the deployment it runs: lines and positions are queued and reach the
// controls in batches, questions and the verdict are message boxes of the run's thread.
class CWebInstallDlg : public CDialog, private IDeployEvents
{
public:
    explicit CWebInstallDlg(CWnd* pParent = nullptr);
    ~CWebInstallDlg() override;

    // Appends one line to the log pane, from any thread, and returns once it is there. AppendLogMessage
    // takes a catalogue string as its format; AppendLogText a format of the caller's (null appends
    // nothing). Hand a finished text over as the value of "%s", never as the format.
    void AppendLogMessage(UINT nID, ...);
    void AppendLogText(const char* pszFormat, ...);

    // The web site the list's selection stands for (each entry holds its site number), 0 with none.
    int SelectedSite() const;

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
    afx_msg LRESULT OnDrainLog(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDrainTimer(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // WM_DRAIN_LOG's wParam: drain now, or within DRAIN_DELAY_MS.
    enum { DRAIN_NOW = 0, DRAIN_SOON = 1, DRAIN_TIMER_ID = 0x2A, DRAIN_DELAY_MS = 750 };

    void AppendLogV(const char* pszFormat, va_list args);
    // From any thread: the queued lines and positions are in the controls when this returns.
    void FlushLog();
    void RequestDrain();

    // The run's events, on its thread.
    void LogLine(const char* pszLine) override;
    void Progress(UINT nPos) override;
    BOOL AskYesNo(const char* pszQuestion) override;
    void ShowVerdict(const char* pszText, UINT nType) override;
    BOOL IsStopRequested() override;
    static DWORD WINAPI RunDeployment(LPVOID pParam);

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

    CLogQueue m_logQueue;
    InstallRequest m_request;   // the running deployment's; written only while none runs
    CDeployThread m_deployThread;
    BOOL m_bClosing = FALSE;
};
