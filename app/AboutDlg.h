// The About box: shown as stored in the resources, with nothing to initialise.
#pragma once

#include "stdafx.h"

class CAboutDlg : public CDialog
{
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

protected:
    void DoDataExchange(CDataExchange* pDX) override { CDialog::DoDataExchange(pDX); }

    DECLARE_MESSAGE_MAP()
};
