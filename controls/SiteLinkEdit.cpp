#include "SiteLinkEdit.h"

#include "resource.h"

#include <shellapi.h>
#include <stddef.h>

namespace {

// TTTOOLINFOA_V2_SIZE in a form the compiler can evaluate: the record up to lParam. The program uses
// the classic common controls, which refuse a larger record; lpReserved came with version 6 only.
const UINT kToolInfoSize = offsetof(TOOLINFOA, lParam) + sizeof(LPARAM);

}   // namespace

#ifndef _WIN64
// The records as the 32-bit system expects them.
static_assert(kToolInfoSize == 44, "tool registration record of 44 bytes");
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "common-controls request of 8 bytes");
#endif

BEGIN_MESSAGE_MAP(CSiteLinkEdit, CEdit)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_CREATE()
END_MESSAGE_MAP()

int CSiteLinkEdit::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CEdit::OnCreate(lpCreateStruct) == -1)
        return -1;
    m_hBrush = ::GetSysColorBrush(COLOR_BTNFACE);

    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES };
    ::InitCommonControlsEx(&icc);

    // The tooltip loads the text itself from our resources, so it follows the user's language. Without a
    // tooltip window the link works all the same.
    m_tooltip.Reset(::CreateWindowExA(0, TOOLTIPS_CLASSA, "", WS_POPUP | TTS_NOPREFIX | TTS_BALLOON, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                      AfxGetInstanceHandle(), nullptr));
    CRect rect;
    GetClientRect(&rect);
    TOOLINFOA ti = {};
    ti.cbSize = kToolInfoSize;
    ti.uFlags = TTF_SUBCLASS | TTF_TRANSPARENT;
    ti.hwnd = m_hWnd;
    ti.uId = 0;
    ti.rect = rect;
    ti.hinst = AfxGetInstanceHandle();
    ti.lpszText = MAKEINTRESOURCEA(IDS_LINK_TOOLTIP);
    // A balloon without its tool would never show: it is not kept.
    if (m_tooltip && !::SendMessageA(m_tooltip.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)))
        m_tooltip.Reset();
    return 0;
}

HBRUSH CSiteLinkEdit::CtlColor(CDC* pDC, UINT)
{
    pDC->SetTextColor(0x00FF0000);
    pDC->SetBkMode(TRANSPARENT);
    return m_hBrush;
}

BOOL CSiteLinkEdit::HitTestText(CPoint point) const
{
    CString strText;
    GetWindowText(strText);
    if (strText.IsEmpty())
        return FALSE;
    CRect rect;
    {
        // Measured afresh each time in the font a new device context of the window has.
        WindowDCHandle dc = GetWindowDCHandle(m_hWnd);
        GetWindowRect(&rect);
        ::DrawTextA(dc.Get().hDC, strText, strText.GetLength(), &rect, DT_CALCRECT);
    }
    ScreenToClient(&rect);
    return point.x <= rect.right;
}

void CSiteLinkEdit::OnMouseMove(UINT nFlags, CPoint point)
{
    if (HitTestText(point))
        ::SetCursor(::LoadCursorA(nullptr, IDC_HAND));
    CEdit::OnMouseMove(nFlags, point);
}

void CSiteLinkEdit::OnLButtonDblClk(UINT nFlags, CPoint point)
{
    if (HitTestText(point))
    {
        CString strUrl;
        GetWindowText(strUrl);
        ::ShellExecuteA(nullptr, nullptr, strUrl, nullptr, nullptr, SW_SHOWNORMAL);
    }
    CEdit::OnLButtonDblClk(nFlags, point);
}
