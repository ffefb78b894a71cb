#include "DeployRun.h"

namespace {

// Private messages of the run's window.
const UINT WM_RUN_ENDED = WM_APP + 0x12;

BOOL CALLBACK AnswerMessageBox(HWND hWnd, LPARAM)
{
    char szClass[16] = {};
    ::GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (lstrcmpA(szClass, "#32770") != 0 || !::IsWindowVisible(hWnd))
        return TRUE;
    int nButton = ::GetDlgItem(hWnd, IDNO) ? IDNO : IDOK;
    ::PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
    return TRUE;
}

// Waits until hObject is signalled while handling the calling thread's messages, answering the message
// boxes of thread dwThreadId on every turn. A WM_QUIT met on the way is posted again for the loop that
// owns it.
void WaitAnsweringBoxes(HANDLE hObject, DWORD dwThreadId)
{
    BOOL bQuit = FALSE;
    WPARAM nExitCode = 0;
    for (;;)
    {
        DWORD dwWait = ::MsgWaitForMultipleObjects(1, &hObject, FALSE, 50, QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_FAILED)
            break;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (msg.message == WM_QUIT)
            {
                bQuit = TRUE;
                nExitCode = msg.wParam;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::EnumThreadWindows(dwThreadId, &AnswerMessageBox, 0);
    }
    if (bQuit)
        ::PostQuitMessage(static_cast<int>(nExitCode));
}

}   // namespace

BEGIN_MESSAGE_MAP(CDeployRun, CWnd)
    ON_MESSAGE(WM_DRAIN_LOG, &CDeployRun::OnDrainLog)
    ON_MESSAGE(WM_TIMER, &CDeployRun::OnDrainTimer)
    ON_MESSAGE(WM_RUN_ENDED, &CDeployRun::OnRunEnded)
END_MESSAGE_MAP()

CDeployRun::~CDeployRun()
{
    StopAndWait();
}

BOOL CDeployRun::Create(CWnd* pOwner, HWND hEdit, HWND hProgress)
{
    m_hEdit = hEdit;
    m_hProgress = hProgress;
    return CWnd::Create("STATIC", "", WS_CHILD, CRect(0, 0, 0, 0), pOwner, 0);
}

DWORD CDeployRun::Start(const InstallRequest& request)
{
    if (m_bBusy)
        return ERROR_BUSY;
    // The last run told its end before it returned: what is left of its thread ends at once.
    if (m_thread)
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
    m_request = request;
    m_bStop = FALSE;
    HANDLE hThread = ::CreateThread(nullptr, 0, &RunThread, this, 0, nullptr);
    if (!hThread)
        return ::GetLastError();
    m_thread.Reset(hThread);
    m_bBusy = TRUE;
    return ERROR_SUCCESS;
}

void CDeployRun::StopAndWait()
{
    if (!m_thread)
        return;
    m_bStop = TRUE;
    WaitAnsweringBoxes(m_thread.Get(), ::GetThreadId(m_thread.Get()));
    m_thread.Reset();
}

DWORD WINAPI CDeployRun::RunThread(LPVOID pParam)
{
    CDeployRun& run = *static_cast<CDeployRun*>(pParam);
    DWORD dwResult = DeployWorker(run.m_request, run);
    ::PostMessageA(run.m_hWnd, WM_RUN_ENDED, 0, 0);
    return dwResult;
}

void CDeployRun::ShowLine(const char* pszLine)
{
    m_logQueue.AddLine(pszLine);
    WaitUntilShown();
}

void CDeployRun::WaitUntilShown()
{
    // From the window's own thread the send is a direct call.
    ::SendMessageA(m_hWnd, WM_DRAIN_LOG, DRAIN_NOW, 0);
}

LRESULT CDeployRun::OnDrainLog(WPARAM wParam, LPARAM)
{
    // Adding text to the pane costs tens of milliseconds under Wine, and little more for a hundred lines
    // than for one, so a run's lines are gathered for a moment and added together.
    if (wParam == DRAIN_SOON)
    {
        ::SetTimer(m_hWnd, DRAIN_TIMER_ID, DRAIN_DELAY_MS, nullptr);
        return 0;
    }
    ::KillTimer(m_hWnd, DRAIN_TIMER_ID);
    m_logQueue.Drain(m_hEdit, m_hProgress);
    return 0;
}

LRESULT CDeployRun::OnDrainTimer(WPARAM wParam, LPARAM)
{
    if (wParam == DRAIN_TIMER_ID)
        OnDrainLog(DRAIN_NOW, 0);
    return 0;
}

LRESULT CDeployRun::OnRunEnded(WPARAM, LPARAM)
{
    // The run's last lines come before Install is offered again. Its thread handle stays until the next
    // start or the stop, which may be waiting on it right now.
    OnDrainLog(DRAIN_NOW, 0);
    m_bBusy = FALSE;
    GetParent()->SendMessage(WM_DEPLOY_DONE);
    return 0;
}

void CDeployRun::LogLine(const char* pszLine)
{
    char szLine[LOG_LINE_BUFFER];
    FormatLogLine(szLine, "%s", pszLine);
    if (m_logQueue.AddLine(szLine))
        ::PostMessageA(m_hWnd, WM_DRAIN_LOG, DRAIN_SOON, 0);
}

void CDeployRun::Progress(UINT nPos)
{
    if (m_logQueue.AddProgress(nPos))
        ::PostMessageA(m_hWnd, WM_DRAIN_LOG, DRAIN_SOON, 0);
}

BOOL CDeployRun::AskYesNo(const char* pszQuestion, HRESULT)
{
    // The user sees the whole log up to the question.
    WaitUntilShown();
    return AfxMessageBox(pszQuestion, MB_YESNO) != IDNO;
}

void CDeployRun::ShowVerdict(const char* pszText, UINT nType)
{
    // The box comes after the log: its text is the pane's last line, which the user should see there
    // too. One last drain costs one addition to the pane, whatever the run was.
    WaitUntilShown();
    AfxMessageBox(pszText, nType);
}
