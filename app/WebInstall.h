// The application object: runs the main dialog and ends the process when it closes.
#pragma once

#include "stdafx.h"

class CWebInstallApp : public CWinApp
{
public:
    CWebInstallApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CWebInstallApp theApp;
