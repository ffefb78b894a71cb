// The deployment worker: one whole Install on a thread of its own.
#pragma once

#include <windows.h>

// Thread routine; pParam is the main dialog (CWebInstallDlg). Returns 1 after a verdict, 0 when the run
// ended without one (declined after a virtual-directory failure, target folder not created, or stopped
// because the dialog closes). Install is enabled again at every end.
DWORD WINAPI DeployWorker(LPVOID pParam);
