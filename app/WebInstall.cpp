#include "WebInstall.h"

#include "WebInstallDlg.h"

#include "UniqueHandle.h"

BEGIN_MESSAGE_MAP(CWebInstallApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWebInstallApp theApp;

BOOL CWebInstallApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControls();

    // The UI thread's apartment, for as long as the dialog lives. The shell's folder browser requires one;
    // and with it, the metabase routines' own initialisation on this thread is a count, not a new
    // apartment built and torn down for every site read.
    OleApartment apartment(SUCCEEDED(::OleInitialize(nullptr)));
    CWebInstallDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog was the program: no message loop follows it.
    m_pMainWnd = nullptr;
    return FALSE;
}
