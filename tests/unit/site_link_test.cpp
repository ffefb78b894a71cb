// The link control as the real dialog creates it: pointer and double click.
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
};

MainDialogRun* SiteLink::s_run = nullptr;

// The pointer is a hand over the text only, up to its edge, whatever the text and the height.
TEST_F(SiteLink, PointerIsAHandOverTheTextOnly)
{
    // Sharing the dialog thread's input state makes its cursor ours to read, whatever the real pointer
    // on the shared display is over.
    ASSERT_TRUE(::AttachThreadInput(::GetCurrentThreadId(), s_run->uiThreadId, TRUE));
    auto isHandAt = [&](int x, int y) {
        ::SendMessageA(m_hLink, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hLink), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        ::SendMessageA(m_hLink, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        return ::GetCursor() == ::LoadCursorA(nullptr, IDC_HAND);
    };
    // The dialog's own address comes last, so that the link is left as it was.
    for (const std::string& shown : { std::string("http://a/Zem/"), std::string(), WindowTextAnsi(m_hLink) })
    {
        ::SendMessageA(m_hLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
        const int edge = TextWidth(shown);
        EXPECT_EQ(!shown.empty(), isHandAt(1, 3)) << shown;
        EXPECT_EQ(!shown.empty(), isHandAt(edge, 500)) << shown;
        EXPECT_FALSE(isHandAt(edge + 1, 3)) << shown;
    }
    ::AttachThreadInput(::GetCurrentThreadId(), s_run->uiThreadId, FALSE);
}

// The balloon holds the link as its one tool and explains it in the user's language.
TEST_F(SiteLink, TooltipExplainsTheLink)
{
    HWND hTip = nullptr;   // hidden until the pointer rests on the link
    ::EnumThreadWindows(
        s_run->uiThreadId, [](HWND h, LPARAM l) -> BOOL {
            char szClass[32] = {};
            ::GetClassNameA(h, szClass, sizeof(szClass));
            return lstrcmpiA(szClass, TOOLTIPS_CLASSA) == 0 ? (*reinterpret_cast<HWND*>(l) = h, FALSE) : TRUE;
        },
        reinterpret_cast<LPARAM>(&hTip));
    ASSERT_NE(nullptr, hTip);
    EXPECT_EQ(1, ::SendMessageA(hTip, TTM_GETTOOLCOUNT, 0, 0));
    char szText[512] = {};
    TOOLINFOA ti = { TTTOOLINFOA_V2_SIZE, 0, m_hLink, 0, {}, nullptr, szText, 0, nullptr };
    ::SendMessageA(hTip, TTM_GETTEXTA, sizeof(szText), reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(Msg(IDS_LINK_TOOLTIP), szText);
}

// The system's "open" of http addresses points at a recorder that writes the address it was given.
TEST_F(SiteLink, DoubleClickOnTheTextOpensTheAddress)
{
    const std::string record = FreshFolder("url") + "opened.txt";
    ::SetEnvironmentVariableA("ZEM_URL_RECORD", record.c_str());
    const std::string command = "\"" + std::string(WideToAnsi(ExeFolder().c_str())) + "url_recorder.exe\" \"%1\"";
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
    EXPECT_TRUE(WaitUntil([&] { return ReadTextFile(record) == text; })) << ReadTextFile(record);
    if (hadOld)
        ::RegSetValueA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", REG_SZ, szOld, 0);
    else
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command");
}

}   // namespace
