// The log pane of the real main dialog, run modally on a thread of its own while the test thread plays
// the deployment worker.
#include "WebInstallDlg.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

class LogPane : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_run = new MainDialogRun; }
    static void TearDownTestSuite() { delete s_run; }

    void SetUp() override
    {
        ASSERT_NE(nullptr, s_run->hDlg) << "the dialog did not come up";
        s_dlg = s_run->dlg;
        s_hDlg = s_run->hDlg;
        // Emptied the way Install empties it before a run.
        ::SetDlgItemTextA(s_hDlg, IDC_LOG, "");
    }

    static std::string PaneText() { return WindowTextAnsi(::GetDlgItem(s_hDlg, IDC_LOG)); }

    static MainDialogRun* s_run;
    static CWebInstallDlg* s_dlg;
    static HWND s_hDlg;
};

MainDialogRun* LogPane::s_run = nullptr;
CWebInstallDlg* LogPane::s_dlg = nullptr;
HWND LogPane::s_hDlg = nullptr;

TEST_F(LogPane, FormatsOneLineEach)
{
    CString strFormat;
    strFormat.LoadString(IDS_SITE_ROOT_PATH);
    CString strExpected;
    strExpected.Format(strFormat, "D:\\Web");

    s_dlg->AppendLogMessage(IDS_SITE_ROOT_PATH, "D:\\Web");
    EXPECT_EQ(std::string(strExpected) + "\r\n", PaneText());

    s_dlg->AppendLogText("%s", "C:\\100%\\d%s");           // '%' in a value is shown as it is
    s_dlg->AppendLogText(nullptr);                         // nothing at all
    s_dlg->AppendLogText("%s", "The system cannot find the file specified.\r\n");
    s_dlg->AppendLogMessage(103);                          // missing string: an empty line
    s_dlg->AppendLogText("Error[%d]: %s", 5, "Access is denied.");
    EXPECT_EQ(std::string(strExpected) + "\r\n" + "C:\\100%\\d%s\r\n" +
                  "The system cannot find the file specified.\r\n\r\n" + "\r\n" + "Error[5]: Access is denied.\r\n",
              PaneText());
}

TEST_F(LogPane, CutsALineAt32767BytesOnACharacterBoundary)
{
    // Compared as a whole without printing: a failure would flood the output.
    s_dlg->AppendLogText("%s", std::string(40000, 'a').c_str());
    std::string text = PaneText();
    EXPECT_EQ(32769u, text.size());
    EXPECT_TRUE(std::string(32767, 'a') + "\r\n" == text);

    ::SetDlgItemTextA(s_hDlg, IDC_LOG, "");
    // Two single-byte characters first, so that the cut falls between a lead and a trail byte.
    std::string dbcs = "ab";
    while (dbcs.size() < 40000)
        dbcs += DBCS_5C;
    s_dlg->AppendLogText("%s", dbcs.c_str());
    const size_t kept = IsDoubleByteCodePage() ? 32766 : 32767;
    text = PaneText();
    EXPECT_EQ(kept + 2, text.size());
    EXPECT_TRUE(dbcs.substr(0, kept) + "\r\n" == text);
}

TEST_F(LogPane, KeepsALongLogWholeWithTheEndInView)
{
    std::string expected;
    const std::string filler(300, '.');
    for (int i = 0; i < 250; ++i)
    {
        char szLine[32];
        wsprintfA(szLine, "line %04d ", i);
        s_dlg->AppendLogText("%s%s", szLine, filler.c_str());
        expected += szLine + filler + "\r\n";
    }
    ASSERT_GT(expected.size(), 65536u);     // well past an edit control's default limit
    const std::string text = PaneText();
    EXPECT_EQ(expected.size(), text.size());
    EXPECT_TRUE(expected == text);

    HWND hLog = ::GetDlgItem(s_hDlg, IDC_LOG);
    DWORD start = 0, end = 0;
    ::SendMessageA(hLog, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, end);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowTextLengthW(hLog)), end);    // caret after the last line
    EXPECT_GT(::SendMessageA(hLog, EM_GETFIRSTVISIBLELINE, 0, 0), 240);  // scrolled to the end
}

TEST_F(LogPane, TwoThreadsAppendingLoseNoLine)
{
    const int kLines = 150;
    auto writer = [](char tag) {
        for (int i = 0; i < kLines; ++i)
            s_dlg->AppendLogText("%c%03d", tag, i);
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();

    const std::string text = PaneText();
    int next[2] = { 0, 0 };
    size_t pos = 0, lines = 0;
    while (pos < text.size())
    {
        size_t eol = text.find("\r\n", pos);
        ASSERT_NE(std::string::npos, eol) << "unterminated line at " << pos;
        const std::string line = text.substr(pos, eol - pos);
        ASSERT_EQ(4u, line.size()) << "mangled line '" << line << "'";
        const int writerIndex = line[0] - 'A';
        ASSERT_TRUE(writerIndex == 0 || writerIndex == 1) << line;
        EXPECT_EQ(next[writerIndex]++, std::stoi(line.substr(1))) << "each writer's lines stay in order";
        pos = eol + 2;
        ++lines;
    }
    EXPECT_EQ(2u * kLines, lines);
}

} // namespace
