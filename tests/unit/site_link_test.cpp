// The link control as the real dialog creates it: pointer and double click.
#include "SiteLinkEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SiteLink : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_run = new MainDialogRun; }
    static void TearDownTestSuite() { delete s_run; }
    void SetUp() override
    {
        ASSERT_NE(nullptr, s_run->hDlg) << "the dialog did not come up";
        m_hLink = ::GetDlgItem(s_run->hDlg, IDC_SITE_LINK);
        m_pLink = dynamic_cast<CSiteLinkEdit*>(CWnd::FromHandlePermanent(m_hLink));
        ASSERT_NE(nullptr, m_pLink);
    }

    // The width of a text in the font a fresh device context of the link has.
    int TextWidth(const std::string& text) const
    {
        WindowDCHandle dc = GetWindowDCHandle(m_hLink);
        SIZE size = {};
        ::GetTextExtentPoint32A(dc.Get().hDC, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }

    static MainDialogRun* s_run;
    HWND m_hLink = nullptr;
    CSiteLinkEdit* m_pLink = nullptr;
};

MainDialogRun* SiteLink::s_run = nullptr;

// The hot zone ends at the text's edge, whatever the text and the height; the pointer is a hand only there.
TEST_F(SiteLink, HotZoneAndPointerFollowTheText)
{
    const std::string text = WindowTextAnsi(m_hLink);
    for (const std::string& shown : { text, std::string("http://a/Zem/"), std::string() })
    {
        ::SendMessageA(m_hLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
        const int edge = TextWidth(shown);
        EXPECT_EQ(!shown.empty(), m_pLink->HitTestText(CPoint(0, 0))) << shown;
        EXPECT_EQ(!shown.empty(), m_pLink->HitTestText(CPoint(edge, 500))) << shown;
        EXPECT_FALSE(m_pLink->HitTestText(CPoint(edge + 1, 0))) << shown;
    }
    ::SendMessageA(m_hLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));

    // Sharing the dialog thread's input state makes its cursor ours to read, whatever the real pointer
    // on the shared display is over.
    ASSERT_TRUE(::AttachThreadInput(::GetCurrentThreadId(), s_run->uiThreadId, TRUE));
    auto cursorAfterMoveTo = [&](int x) {
        ::SendMessageA(m_hLink, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hLink), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        ::SendMessageA(m_hLink, WM_MOUSEMOVE, 0, MAKELPARAM(x, 3));
        return ::GetCursor();
    };
    const HCURSOR hHand = ::LoadCursorA(nullptr, IDC_HAND);
    EXPECT_EQ(hHand, cursorAfterMoveTo(TextWidth(text)));
    EXPECT_NE(hHand, cursorAfterMoveTo(TextWidth(text) + 1));
    EXPECT_EQ(hHand, cursorAfterMoveTo(1));
    ::AttachThreadInput(::GetCurrentThreadId(), s_run->uiThreadId, FALSE);
}

// The balloon holds the link as its one tool and explains it in the user's language.
TEST_F(SiteLink, TooltipExplainsTheLink)
{
    HWND hTip = nullptr;   // hidden until the pointer rests on the link
    ::EnumThreadWindows(s_run->uiThreadId, [](HWND h, LPARAM l) -> BOOL {
        char szClass[32] = {};
        ::GetClassNameA(h, szClass, sizeof(szClass));
        return lstrcmpiA(szClass, TOOLTIPS_CLASSA) == 0 ? (*reinterpret_cast<HWND*>(l) = h, FALSE) : TRUE;
    }, reinterpret_cast<LPARAM>(&hTip));
    ASSERT_NE(nullptr, hTip);
    EXPECT_EQ(1, ::SendMessageA(hTip, TTM_GETTOOLCOUNT, 0, 0));
    char szText[512] = {};
    TOOLINFOA ti = { TTTOOLINFOA_V2_SIZE, 0, m_hLink, 0, {}, nullptr, szText, 0, nullptr };
    ::SendMessageA(hTip, TTM_GETTEXTA, sizeof(szText), reinterpret_cast<LPARAM>(&ti));
    CString strExpected;
    strExpected.LoadString(IDS_LINK_TOOLTIP);
    EXPECT_STREQ(strExpected, szText);
}

// The system's "open" of http addresses points at a recorder that writes the address it was given.
TEST_F(SiteLink, DoubleClickOnTheTextOpensTheAddress)
{
    const std::string record = FreshFolder("url") + "opened.txt";
    ::SetEnvironmentVariableA("ZEM_URL_RECORD", record.c_str());
    const std::string command = "\"" + std::string(WideToAnsi(zem::ui::ExeFolder().c_str())) + "url_recorder.exe\" \"%1\"";
    char szOld[1024] = {};
    LONG cbOld = sizeof(szOld);
    const bool hadOld = ::RegQueryValueA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", szOld, &cbOld) == ERROR_SUCCESS;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", REG_SZ, command.c_str(), 0));

    const std::string text = WindowTextAnsi(m_hLink);
    const int edge = TextWidth(text);
    ::SendMessageA(m_hLink, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(edge + 5, 3));   // beyond the text: only selects
    ::Sleep(1500);
    EXPECT_EQ("<missing>", ReadTextFile(record));
    ::SendMessageA(m_hLink, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(edge / 2, 3));
    EXPECT_TRUE(zem::ui::WaitUntil([&] { return ReadTextFile(record) == text; })) << ReadTextFile(record);
    if (hadOld)
        ::RegSetValueA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", REG_SZ, szOld, 0);
    else
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command");
}

} // namespace
