// A deployment run told on the console: its lines as they come, its question answered by --if-exists,
// its stop asked for by Ctrl+C.
#pragma once

#include "Console.h"
#include "DeployWorker.h"

class CConsoleEvents : public IDeployEvents
{
public:
    CConsoleEvents(CConsoleOutput& out, BOOL bKeepExisting) : m_out(out), m_bKeepExisting(bKeepExisting) {}

    // The failure that the run's question was answered No for; S_OK when there was none.
    HRESULT DeclinedCause() const { return m_hrDeclined; }
    // Whether the run's last word was the verdict of a run without failures.
    BOOL Finished() const { return m_bFinished; }
    // Whether a virtual directory that existed was kept.
    BOOL KeptExisting() const { return m_bKeptExisting; }
    // The run's last word (the verdict, or the folder it could not create); empty when it had none.
    const CString& Verdict() const { return m_strVerdict; }
    // Why a run did not finish: its last word, or the failure it stopped after.
    const CString& Reason() const { return m_strVerdict.IsEmpty() ? m_strDeclined : m_strVerdict; }

private:
    void LogLine(const char* pszLine) override;
    void Progress(UINT) override {}
    BOOL AskYesNo(const char* pszQuestion, HRESULT hrCause) override;
    void ShowVerdict(const char* pszText, UINT nType) override;
    BOOL IsStopRequested() override { return IsConsoleStopRequested(); }

    CConsoleOutput& m_out;
    BOOL m_bKeepExisting;
    HRESULT m_hrDeclined = S_OK;
    BOOL m_bFinished = FALSE;
    BOOL m_bKeptExisting = FALSE;
    CString m_strLastLine;
    CString m_strDeclined;   // the failure's log line, when its question was answered No
    CString m_strVerdict;
};
