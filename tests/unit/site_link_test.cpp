// The link control as the real dialog creates it: tooltip, pointer and double click.
#include "SiteLinkEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

class SiteLink : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_run = new MainDialogRun; }
    static void TearDownTestSuite() { delete s_run; s_run = nullptr; }

    void SetUp() override
    {
        ASSERT_NE(nullptr, s_run->hDlg) << "the dialog did not come up";
        m_hLink = ::GetDlgItem(s_run->hDlg, IDC_SITE_LINK);
        ASSERT_NE(nullptr, m_hLink);
        m_pLink = dynamic_cast<CSiteLinkEdit*>(CWnd::FromHandlePermanent(m_hLink));
        ASSERT_NE(nullptr, m_pLink);
    }

    // The width of a text in the font a fresh device context of the link has.
    int TextWidth(const char* text) const
    {
        HDC hdc = ::GetDC(m_hLink);
        SIZE size = {};
        ::GetTextExtentPoint32A(hdc, text, static_cast<int>(strlen(text)), &size);
        ::ReleaseDC(m_hLink, hdc);
        return size.cx;
    }

    static MainDialogRun* s_run;
    HWND m_hLink = nullptr;
    CSiteLinkEdit* m_pLink = nullptr;
};

MainDialogRun* SiteLink::s_run = nullptr;

TEST_F(SiteLink, TooltipExplainsTheDoubleClickInTheUsersLanguage)
{
    HWND hTip = nullptr;
    ::EnumThreadWindows(s_run->uiThreadId, [](HWND h, LPARAM l) -> BOOL {
        if (zem::ui::ClassName(h) == L"tooltips_class32") { *reinterpret_cast<HWND*>(l) = h; return FALSE; }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&hTip));
    ASSERT_NE(nullptr, hTip);

    char szText[256] = {};
    TOOLINFOA ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = m_hLink;
    ti.uId = 0;
    ti.lpszText = szText;
    ::SendMessageA(hTip, TTM_GETTEXTA, sizeof(szText), reinterpret_cast<LPARAM>(&ti));
    CString expected;
    expected.LoadString(IDS_LINK_TOOLTIP);
    ASSERT_FALSE(expected.IsEmpty());
    EXPECT_STREQ(expected, szText);
}

TEST_F(SiteLink, TextEndsWhereTheDefaultFontSaysUpToAndIncludingTheEdge)
{
    const std::string text = WindowTextAnsi(m_hLink);
    const int edge = TextWidth(text.c_str());
    ASSERT_GT(edge, 0);
    EXPECT_TRUE(m_pLink->HitTestText(CPoint(0, 0)));
    EXPECT_TRUE(m_pLink->HitTestText(CPoint(edge, 500)));   // exactly at the edge; y does not count
    EXPECT_FALSE(m_pLink->HitTestText(CPoint(edge + 1, 0)));

    // A shorter address has a narrower hot zone; an empty one has none.
    ::SendMessageA(m_hLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://a/Zem/"));
    const int shortEdge = TextWidth("http://a/Zem/");
    EXPECT_LT(shortEdge, edge);
    EXPECT_TRUE(m_pLink->HitTestText(CPoint(shortEdge, 0)));
    EXPECT_FALSE(m_pLink->HitTestText(CPoint(shortEdge + 1, 0)));
    ::SendMessageA(m_hLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    EXPECT_FALSE(m_pLink->HitTestText(CPoint(0, 0)));
    ::SendMessageA(m_hLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

TEST_F(SiteLink, PointerBecomesAHandOverTheTextOnly)
{
    const int edge = TextWidth(WindowTextAnsi(m_hLink).c_str());
    HCURSOR hHand = ::LoadCursorA(nullptr, IDC_HAND);
    // Sharing the dialog thread's input state makes its cursor ours to read, whatever the real pointer
    // on the shared display is over.
    ASSERT_TRUE(::AttachThreadInput(::GetCurrentThreadId(), s_run->uiThreadId, TRUE));
    auto cursorAfterMoveTo = [&](int x) {
        ::SendMessageA(m_hLink, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hLink), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        ::SendMessageA(m_hLink, WM_MOUSEMOVE, 0, MAKELPARAM(x, 3));
        return ::GetCursor();
    };
    EXPECT_EQ(hHand, cursorAfterMoveTo(edge));
    EXPECT_NE(hHand, cursorAfterMoveTo(edge + 1));
    EXPECT_EQ(hHand, cursorAfterMoveTo(1));
    ::AttachThreadInput(::GetCurrentThreadId(), s_run->uiThreadId, FALSE);
}

// Points the system's "open" of http addresses at the recorder for the life of the object.
class UrlHandler
{
public:
    explicit UrlHandler(const std::string& command)
    {
        m_ok = ::RegCreateKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &m_key, nullptr) == ERROR_SUCCESS;
        if (!m_ok)
            return;
        char szOld[1024] = {};
        DWORD cb = sizeof(szOld);
        m_hadOld = ::RegQueryValueExA(m_key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(szOld), &cb) == ERROR_SUCCESS;
        m_old = szOld;
        m_ok = ::RegSetValueExA(m_key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    }
    ~UrlHandler()
    {
        if (!m_key)
            return;
        if (m_hadOld)
            ::RegSetValueExA(m_key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(m_old.c_str()),
                             static_cast<DWORD>(m_old.size() + 1));
        else
            ::RegDeleteValueA(m_key, nullptr);
        ::RegCloseKey(m_key);
    }
    bool ok() const { return m_ok; }

private:
    HKEY m_key = nullptr;
    bool m_ok = false;
    bool m_hadOld = false;
    std::string m_old;
};

TEST_F(SiteLink, DoubleClickOnTheTextOpensTheAddress)
{
    char szFolder[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szFolder, MAX_PATH);
    *strrchr(szFolder, '\\') = '\0';
    char szTemp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, szTemp);
    const std::string record = std::string(szTemp) + "zem_url_" + std::to_string(::GetCurrentProcessId()) + ".txt";
    ::DeleteFileA(record.c_str());
    ::SetEnvironmentVariableA("ZEM_URL_RECORD", record.c_str());
    UrlHandler handler(std::string("\"") + szFolder + "\\url_recorder.exe\" \"%1\"");
    ASSERT_TRUE(handler.ok());

    const std::string text = WindowTextAnsi(m_hLink);
    const int edge = TextWidth(text.c_str());
    auto recorded = [&] {
        std::ifstream in(record, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };

    // Beyond the text: the edit control only selects, nothing is opened.
    ::SendMessageA(m_hLink, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(edge + 5, 3));
    ::Sleep(1500);
    EXPECT_EQ("", recorded());

    ::SendMessageA(m_hLink, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(edge / 2, 3));
    EXPECT_TRUE(zem::ui::WaitUntil([&] { return !recorded().empty(); }));
    EXPECT_EQ(text, recorded());
    ::DeleteFileA(record.c_str());
}

} // namespace
