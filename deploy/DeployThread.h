// The one deployment thread of a window: its handle, and the request to stop that closing the window
// makes.
#pragma once

#include <afxwin.h>

#include "UniqueHandle.h"

#include <atomic>

class CDeployThread
{
public:
    CDeployThread() = default;
    CDeployThread(const CDeployThread&) = delete;
    CDeployThread& operator=(const CDeployThread&) = delete;
    // Stops and waits like StopAndWait: the thread works on the object that owns this one.
    ~CDeployThread();

    // Starts pfnStart(pParam) at once. Returns ERROR_SUCCESS, ERROR_BUSY while the thread of an earlier
    // run still runs (never waited for here: it may be showing a box), or CreateThread's error code.
    DWORD Start(LPTHREAD_START_ROUTINE pfnStart, void* pParam, SIZE_T cbStack = 0);

    BOOL IsRunning() const;
    BOOL IsStopRequested() const { return m_bStop.load(); }

    // Asks the run to stop after the file it is copying and waits until its thread has ended. Messages of
    // the calling thread are handled meanwhile, since the worker waits on the dialog's thread for its
    // questions, its verdict and its last log lines; a message box the worker shows is answered with No,
    // or OK.
    void StopAndWait();

private:
    void CloseThread();

    KernelHandle m_thread;
    DWORD m_dwThreadId = 0;
    std::atomic<BOOL> m_bStop{FALSE};
};

// Presses No, or else OK, in each message box that the thread shows; returns how many it answered.
int DismissThreadMessageBoxes(DWORD dwThreadId);

// Waits until hObject is signalled while handling the calling thread's messages; pfnEachTurn, when
// given, runs every cMillis. A WM_QUIT met on the way is posted again for the loop that owns it.
void WaitHandlingMessages(HANDLE hObject, void (*pfnEachTurn)(void* pContext), void* pContext, DWORD cMillis = 50);
