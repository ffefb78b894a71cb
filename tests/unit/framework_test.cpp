// The framework's window plumbing: message-map dispatch along the class chain, the creation hook that
// lets a control see its own WM_CREATE, reflected colour messages, command routing and message boxes.
#include "stdafx.h"
#include "AboutDlg.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

const UINT WM_PROBE = WM_APP + 7;
const UINT WM_PROBE_BASE_ONLY = WM_APP + 8;
const int IDC_PROBE_BUTTON = 3001;

class CProbeWnd : public CWnd
{
public:
    std::vector<std::string> calls;
    HWND hWndSeenInCreate = nullptr;
    int createResult = 0;
    int ncDestroyed = 0;

protected:
    afx_msg int OnCreate(LPCREATESTRUCT lpcs)
    {
        hWndSeenInCreate = m_hWnd;
        calls.push_back(std::string("create:") + (lpcs->lpszName ? lpcs->lpszName : ""));
        if (CWnd::OnCreate(lpcs) == -1)
            return -1;
        return createResult;
    }
    afx_msg LRESULT OnProbe(WPARAM wParam, LPARAM) { calls.push_back("base-probe"); return static_cast<LRESULT>(wParam) + 1; }
    afx_msg LRESULT OnProbeBaseOnly(WPARAM, LPARAM) { calls.push_back("base-only"); return 42; }
    afx_msg void OnProbeClicked() { calls.push_back("clicked"); }
    void PostNcDestroy() override { ++ncDestroyed; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
    ON_WM_CREATE()
    ON_MESSAGE(WM_PROBE, &CProbeWnd::OnProbe)
    ON_MESSAGE(WM_PROBE_BASE_ONLY, &CProbeWnd::OnProbeBaseOnly)
    ON_BN_CLICKED(IDC_PROBE_BUTTON, &CProbeWnd::OnProbeClicked)
END_MESSAGE_MAP()

class CDerivedProbeWnd : public CProbeWnd
{
protected:
    afx_msg LRESULT OnProbe(WPARAM, LPARAM) { calls.push_back("derived-probe"); return 7; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedProbeWnd, CProbeWnd)
    ON_MESSAGE(WM_PROBE, &CDerivedProbeWnd::OnProbe)
END_MESSAGE_MAP()

// An edit control that colours itself through the reflected WM_CTLCOLOR, as the link control does.
class CColourEdit : public CEdit
{
public:
    CBrush m_brush;
    UINT lastCtlColor = 0xFFFF;

protected:
    afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor)
    {
        lastCtlColor = nCtlColor;
        pDC->SetTextColor(RGB(0, 0, 255));
        return static_cast<HBRUSH>(m_brush.m_hObject);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColourEdit, CEdit)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

const RECT kRect = { 0, 0, 200, 40 };

TEST(Framework, CreatedWindowSeesItsOwnCreateAndIsDetachedAfterItsLastMessage)
{
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, "STATIC", "probe", WS_POPUP, kRect, nullptr, 0));
    EXPECT_EQ(wnd.m_hWnd, wnd.hWndSeenInCreate);
    ASSERT_EQ(1u, wnd.calls.size());
    EXPECT_EQ("create:probe", wnd.calls[0]);
    EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(wnd.m_hWnd));

    HWND hWnd = wnd.m_hWnd;
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_EQ(1, wnd.ncDestroyed);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
}

TEST(Framework, CreateFailsWhenOnCreateRefuses)
{
    CProbeWnd wnd;
    wnd.createResult = -1;
    EXPECT_FALSE(wnd.CreateEx(0, "STATIC", "refused", WS_POPUP, kRect, nullptr, 0));
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_EQ(1, wnd.ncDestroyed);
}

TEST(Framework, DerivedMapComesFirstAndBaseEntriesStillApply)
{
    CDerivedProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, "STATIC", "", WS_POPUP, kRect, nullptr, 0));
    EXPECT_EQ(7, wnd.SendMessage(WM_PROBE, 1));
    EXPECT_EQ(42, wnd.SendMessage(WM_PROBE_BASE_ONLY));
    EXPECT_EQ((std::vector<std::string>{ "create:", "derived-probe", "base-only" }), wnd.calls);

    // Unmapped messages get the window class's own processing.
    wnd.SetWindowText("text");
    char sz[16] = {};
    wnd.GetWindowText(sz, sizeof(sz));
    EXPECT_STREQ("text", sz);
    wnd.DestroyWindow();
}

TEST(Framework, CommandsMatchIdAndNotificationCode)
{
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, "STATIC", "", WS_POPUP, kRect, nullptr, 0));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON, BN_CLICKED), 0);
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON, CBN_SELCHANGE), 0);   // other code
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON + 1, BN_CLICKED), 0);  // other id
    EXPECT_EQ((std::vector<std::string>{ "create:", "clicked" }), wnd.calls);
    wnd.DestroyWindow();
}

TEST(Framework, ControlColoursItselfThroughTheReflectedMessage)
{
    CProbeWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, "STATIC", "", WS_POPUP, kRect, nullptr, 0));
    CColourEdit edit;
    ASSERT_TRUE(edit.Create(WS_CHILD | ES_READONLY, kRect, &parent, 1017));
    EXPECT_EQ(1017, edit.GetDlgCtrlID());
    edit.m_brush.Attach(::GetSysColorBrush(COLOR_BTNFACE));

    HDC hdc = ::GetDC(edit.m_hWnd);
    LRESULT brush = parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(edit.m_hWnd));
    EXPECT_EQ(reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE)), brush);
    EXPECT_EQ(static_cast<UINT>(CTLCOLOR_STATIC), edit.lastCtlColor);
    EXPECT_EQ(RGB(0, 0, 255), ::GetTextColor(hdc));
    ::ReleaseDC(edit.m_hWnd, hdc);
    edit.m_brush.Detach();
    parent.DestroyWindow();
    EXPECT_EQ(nullptr, edit.m_hWnd);   // children are detached with their parent
}

TEST(Framework, TemporaryObjectsWrapForeignWindows)
{
    HWND hWnd = ::CreateWindowExA(0, "STATIC", "plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hWnd);
    CWnd* pWnd = CWnd::FromHandle(hWnd);
    ASSERT_NE(nullptr, pWnd);
    EXPECT_EQ(pWnd, CWnd::FromHandle(hWnd));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    CString str;
    pWnd->GetWindowText(str);
    EXPECT_STREQ("plain", str);
    ::DestroyWindow(hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandle(nullptr));
}

TEST(Framework, MessageBoxTakesTheAppNameAndTheUsualIcon)
{
    CWinApp app;
    app.SetCurrentHandles(::GetModuleHandleA(nullptr));
    EXPECT_STREQ("unit_tests", app.m_pszAppName);

    struct { UINT type; LPCSTR icon; int answer; } rows[] = {
        { MB_OK, IDI_EXCLAMATION, IDOK },
        { MB_YESNO, IDI_QUESTION, IDNO },
        { MB_OK | MB_ICONINFORMATION, IDI_INFORMATION, IDOK },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        zem::ui::MessageBoxInfo info;
        HICON iconShown = nullptr;
        std::thread answer([&, tid = ::GetCurrentThreadId()] {
            HWND box = nullptr;
            zem::ui::WaitUntil([&] { return (box = FindThreadWindow(tid, zem::ui::IsMessageBox)) != nullptr; });
            if (!box)
                return;
            info = zem::ui::ReadMessageBox(box);
            // The icon static is 0x14 on Windows and 0x440 in Wine's message box template.
            HWND icon = ::GetDlgItem(box, 0x14) ? ::GetDlgItem(box, 0x14) : ::GetDlgItem(box, 0x440);
            iconShown = reinterpret_cast<HICON>(::SendMessageA(icon, STM_GETICON, 0, 0));
            zem::ui::Answer(box, rows[i].answer);
        });
        EXPECT_EQ(rows[i].answer, AfxMessageBox("percent 100% stays", rows[i].type)) << "row " << i;
        answer.join();
        EXPECT_EQ(L"unit_tests", info.caption) << "row " << i;
        EXPECT_EQ(L"percent 100% stays", info.text) << "row " << i;
        EXPECT_EQ(::LoadIconA(nullptr, rows[i].icon), iconShown) << "row " << i;
    }
}

TEST(Framework, ModalDialogEndsThroughItsOkCommand)
{
    CAboutDlg dlg;
    std::thread close([tid = ::GetCurrentThreadId()] {
        HWND box = nullptr;
        zem::ui::WaitUntil([&] { return (box = FindThreadWindow(tid, [](HWND h) { return zem::ui::ClassName(h) == L"#32770"; })) != nullptr; });
        if (box)
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    close.join();
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

} // namespace
