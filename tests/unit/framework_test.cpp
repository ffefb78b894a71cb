#include "stdafx.h"
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
        return CWnd::OnCreate(lpcs) == -1 ? -1 : createResult;
    }
    afx_msg LRESULT OnProbe(WPARAM, LPARAM)
    {
        calls.push_back("base-probe");
        return 1;
    }
    afx_msg LRESULT OnProbeBaseOnly(WPARAM, LPARAM)
    {
        calls.push_back("base-only");
        return 42;
    }
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
    afx_msg LRESULT OnProbe(WPARAM, LPARAM)
    {
        calls.push_back("derived-probe");
        return 7;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedProbeWnd, CProbeWnd)
    ON_MESSAGE(WM_PROBE, &CDerivedProbeWnd::OnProbe)
END_MESSAGE_MAP()

const RECT kRect = { 0, 0, 200, 40 };

TEST(Framework, CreationHookAndNcDestroy)
{
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, "STATIC", "probe", WS_POPUP, kRect, nullptr, 0));
    EXPECT_EQ(wnd.m_hWnd, wnd.hWndSeenInCreate);
    EXPECT_EQ((std::vector<std::string>{ "create:probe" }), wnd.calls);
    EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(wnd.m_hWnd));
    HWND hWnd = wnd.m_hWnd;
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_EQ(1, wnd.ncDestroyed);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));

    CProbeWnd refused;   // OnCreate saying -1 fails the creation
    refused.createResult = -1;
    EXPECT_FALSE(refused.CreateEx(0, "STATIC", "refused", WS_POPUP, kRect, nullptr, 0));
    EXPECT_EQ(nullptr, refused.m_hWnd);
    EXPECT_EQ(1, refused.ncDestroyed);
}

TEST(Framework, DispatchFollowsTheClassChainIdAndCode)
{
    CDerivedProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, "STATIC", "", WS_POPUP, kRect, nullptr, 0));
    EXPECT_EQ(7, wnd.SendMessage(WM_PROBE, 1));
    EXPECT_EQ(42, wnd.SendMessage(WM_PROBE_BASE_ONLY));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON, BN_CLICKED), 0);
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON, CBN_SELCHANGE), 0);    // other code
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON + 1, BN_CLICKED), 0);   // other id
    EXPECT_EQ((std::vector<std::string>{ "create:", "derived-probe", "base-only", "clicked" }), wnd.calls);
    wnd.SetWindowText("text");   // unmapped: the window class's own processing
    char sz[16] = {};
    wnd.GetWindowText(sz, sizeof(sz));
    EXPECT_STREQ("text", sz);
    wnd.DestroyWindow();
}

// A question gets its icon and its answer back; the text is shown as it is, not as a format.
TEST(Framework, MessageBoxTakesTheAppNameTheIconAndReturnsTheAnswer)
{
    CWinApp app;
    app.SetCurrentHandles(::GetModuleHandleA(nullptr));
    EXPECT_STREQ("unit_tests", app.m_pszAppName);
    MessageBoxInfo info;
    HICON iconShown = nullptr;
    std::thread answer([&, tid = ::GetCurrentThreadId()] {
        HWND box = nullptr;
        if (!WaitUntil([&] { return (box = FindThreadWindow(tid, IsMessageBox)) != nullptr; }))
            return;
        info = ReadMessageBox(box);
        // The icon static is 0x14 on Windows and 0x440 in Wine's message box template.
        HWND icon = ::GetDlgItem(box, 0x14) ? ::GetDlgItem(box, 0x14) : ::GetDlgItem(box, 0x440);
        iconShown = reinterpret_cast<HICON>(::SendMessageA(icon, STM_GETICON, 0, 0));
        ::PostMessageA(box, WM_COMMAND, IDNO, 0);
    });
    EXPECT_EQ(IDNO, AfxMessageBox("percent 100% stays", MB_YESNO));
    answer.join();
    EXPECT_EQ(L"unit_tests", info.caption);
    EXPECT_EQ(L"percent 100% stays", info.text);
    EXPECT_EQ(::LoadIconA(nullptr, IDI_QUESTION), iconShown);
}

}   // namespace
