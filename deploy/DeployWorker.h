// The deployment worker: one whole Install, apart from any window.
#pragma once

#include "InstallRequest.h"

// The virtual directory a run creates in the site it is given.
const char VIRTUAL_DIR_NAME[] = "Zem";

// What a run tells the one who started it, and asks. The calls come from the run's thread.
class IDeployEvents
{
public:
    // One finished log line (a path, a filled-in catalogue message, an error line), without its line end.
    virtual void LogLine(const char* pszLine) = 0;
    virtual void Progress(UINT nPos) = 0;
    // A Yes/No question about a failure, with the result that failed; TRUE for Yes.
    virtual BOOL AskYesNo(const char* pszQuestion, HRESULT hrCause) = 0;
    // The run's last word, shown in a message box of that type: the verdict, or the target folder that
    // could not be created.
    virtual void ShowVerdict(const char* pszText, UINT nType) = 0;
    // Asked between files and before every question: TRUE ends the run there.
    virtual BOOL IsStopRequested() = 0;

protected:
    ~IDeployEvents() = default;
};

// Runs one deployment. Returns 1 after a verdict, 0 when the run ended without one (declined after a
// virtual-directory failure, target folder not created, or stopped).
DWORD DeployWorker(const InstallRequest& request, IDeployEvents& events);
