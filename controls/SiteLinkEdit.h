// The client address beside its label: a read-only edit that shows the address in blue, turns the pointer
// into a hand over the text, opens the address on a double click and explains that in a balloon tooltip.
#pragma once

#include <afxwin.h>

#include "UniqueHandle.h"

class CSiteLinkEdit : public CEdit
{
public:
    CSiteLinkEdit() = default;
    ~CSiteLinkEdit() override = default;

    // Whether a point (client coordinates) is over the text: only x counts, up to and including the
    // measured right edge of the text in the window's default font.
    BOOL HitTestText(CPoint point) const;

protected:
    HBRUSH m_hBrush = nullptr;   // the system's button-face brush: the system owns it, it is never deleted
    OwnedWindow m_tooltip;       // the balloon, destroyed with the control

    afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);

    DECLARE_MESSAGE_MAP()
};
