#include "DeployThread.h"

CDeployThread::~CDeployThread()
{
    StopAndWait();
}

DWORD CDeployThread::Start(LPTHREAD_START_ROUTINE pfnStart, void* pParam, SIZE_T cbStack)
{
    if (IsRunning())
        return ERROR_BUSY;
    CloseThread();
    m_bStop = FALSE;
    DWORD dwThreadId = 0;
    HANDLE hThread = ::CreateThread(nullptr, cbStack, pfnStart, pParam, 0, &dwThreadId);
    if (!hThread)
        return ::GetLastError();
    m_thread.Reset(hThread);
    m_dwThreadId = dwThreadId;
    return ERROR_SUCCESS;
}

BOOL CDeployThread::IsRunning() const
{
    return m_thread && ::WaitForSingleObject(m_thread.Get(), 0) == WAIT_TIMEOUT;
}

void CDeployThread::StopAndWait()
{
    if (!m_thread)
        return;
    m_bStop = TRUE;
    WaitHandlingMessages(m_thread.Get(), [](void* pContext) {
        DismissThreadMessageBoxes(*static_cast<DWORD*>(pContext));
    }, &m_dwThreadId);
    CloseThread();
}

void CDeployThread::CloseThread()
{
    m_thread.Reset();
    m_dwThreadId = 0;
}

namespace {

BOOL CALLBACK AnswerMessageBox(HWND hWnd, LPARAM lParam)
{
    char szClass[16] = {};
    ::GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (lstrcmpA(szClass, "#32770") != 0 || !::IsWindowVisible(hWnd))
        return TRUE;
    int nButton = ::GetDlgItem(hWnd, IDNO) ? IDNO : IDOK;
    ::PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

} // namespace

int DismissThreadMessageBoxes(DWORD dwThreadId)
{
    int nAnswered = 0;
    ::EnumThreadWindows(dwThreadId, &AnswerMessageBox, reinterpret_cast<LPARAM>(&nAnswered));
    return nAnswered;
}

void WaitHandlingMessages(HANDLE hObject, void (*pfnEachTurn)(void* pContext), void* pContext, DWORD cMillis)
{
    BOOL bQuit = FALSE;
    WPARAM nExitCode = 0;
    for (;;)
    {
        DWORD dwWait = ::MsgWaitForMultipleObjects(1, &hObject, FALSE, cMillis, QS_ALLINPUT);
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
        if (pfnEachTurn)
            pfnEachTurn(pContext);
    }
    if (bQuit)
        ::PostQuitMessage(static_cast<int>(nExitCode));
}
