#include "WebInstall.h"

#include "WebInstallDlg.h"

BEGIN_MESSAGE_MAP(CWebInstallApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWebInstallApp theApp;

BOOL CWebInstallApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControls();

    CWebInstallDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog was the program: no message loop follows it.
    m_pMainWnd = nullptr;
    return FALSE;
}
