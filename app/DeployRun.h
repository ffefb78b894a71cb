// One Install run, from the press of Install to its verdict: the run's thread with its own copy of the
// request, the stop that closing the dialog asks for, and the queue that carries the run's lines and
// positions to the log pane and the progress bar on the dialog's thread.
#pragma once

#include "stdafx.h"

#include "DeployWorker.h"
#include "LogPane.h"
#include "UniqueHandle.h"

#include <atomic>

// Sent to the owner on its own thread once a run has ended and its last lines are in the pane.
const UINT WM_DEPLOY_DONE = WM_APP + 0x11;

// A hidden child of the dialog: the run's thread only ever posts to it, and waits for it in one place,
// before a question or the verdict, so that a box's text is the pane's last line. Lines of the dialog's
// own thread join the same queue, so they keep their order with the run's.
class CDeployRun : public CWnd, public IDeployEvents
{
public:
    CDeployRun() = default;
    // Stops and waits like StopAndWait: the run reports to this object.
    ~CDeployRun() override;

    // On the owner's thread; hEdit and hProgress are the controls the run fills.
    BOOL Create(CWnd* pOwner, HWND hEdit, HWND hProgress);

    // Starts a run of a copy of the request. Returns ERROR_SUCCESS, ERROR_BUSY until the owner has been
    // told that the last run is done, or CreateThread's error code.
    DWORD Start(const InstallRequest& request);
    BOOL IsBusy() const { return m_bBusy; }

    // Puts one finished line after everything queued and returns once it is in the pane; from any thread.
    void ShowLine(const char* pszLine);

    // Asks the run to stop after the file it is copying and waits until its thread has ended. The owner's
    // messages are handled meanwhile, since the run waits on them for its questions and its verdict; a
    // message box the run shows is answered with No, or OK.
    void StopAndWait();

protected:
    afx_msg LRESULT OnDrainLog(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDrainTimer(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRunEnded(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // WM_DRAIN_LOG's wParam: drain now, or within DRAIN_DELAY_MS.
    enum { DRAIN_NOW = 0,
           DRAIN_SOON = 1,
           DRAIN_TIMER_ID = 0x2A,
           DRAIN_DELAY_MS = 750 };

    static DWORD WINAPI RunThread(LPVOID pParam);
    // The one place where the run's thread waits for the window: the queue is in the controls on return.
    void WaitUntilShown();

    // The run's events, on its thread.
    void LogLine(const char* pszLine) override;
    void Progress(UINT nPos) override;
    BOOL AskYesNo(const char* pszQuestion, HRESULT hrCause) override;
    void ShowVerdict(const char* pszText, UINT nType) override;
    BOOL IsStopRequested() override { return m_bStop.load(); }

    HWND m_hEdit = nullptr;
    HWND m_hProgress = nullptr;
    CLogQueue m_logQueue;
    InstallRequest m_request;   // the run's own copy, written only while no thread runs
    KernelHandle m_thread;
    std::atomic<BOOL> m_bStop{ FALSE };
    BOOL m_bBusy = FALSE;   // from Start until the owner is told that the run is done
};
