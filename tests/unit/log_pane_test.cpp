// The log pane of the real main dialog, run modally on a thread of its own while test threads append.
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

class LogPane : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_run = new MainDialogRun; }
    static void TearDownTestSuite() { delete s_run; }

    void SetUp() override
    {
        ASSERT_NE(nullptr, s_run->hDlg) << "the dialog did not come up";
        m_dlg = s_run->dlg;
        Clear();
    }
    static void Clear() { ::SetDlgItemTextA(s_run->hDlg, IDC_LOG, ""); }   // the way Install empties it
    static std::string PaneText() { return WindowTextAnsi(::GetDlgItem(s_run->hDlg, IDC_LOG)); }

    static MainDialogRun* s_run;
    CWebInstallDlg* m_dlg = nullptr;
};

MainDialogRun* LogPane::s_run = nullptr;

TEST_F(LogPane, FormatsOneLineEach)
{
    m_dlg->AppendLogText("%s", "C:\\100%\\d%s");   // '%' in a value is shown as it is
    m_dlg->AppendLogText(nullptr);                 // nothing at all
    m_dlg->AppendLogText("%s", "The system cannot find the file specified.\r\n");
    m_dlg->AppendLogMessage(103);   // missing string: an empty line
    m_dlg->AppendLogText("Error[%d]: %s", 5, "Access is denied.");
    EXPECT_EQ("C:\\100%\\d%s\r\nThe system cannot find the file specified.\r\n\r\n\r\nError[5]: Access is denied.\r\n", PaneText());
}

TEST_F(LogPane, CutsALineAt32767BytesOnACharacterBoundary)
{
    // "ab" first, so that in a double-byte code page the cut falls between a lead and a trail byte.
    std::string dbcs = "ab";
    while (dbcs.size() < 40000)
        dbcs += DBCS_5C;
    const struct
    {
        std::string text;
        size_t kept;
    } rows[] = {
        // compared without printing: 40,000 bytes
        { std::string(40000, 'a'), 32767 },
        { dbcs, IsDoubleByteCodePage() ? 32766u : 32767u },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        Clear();
        m_dlg->AppendLogText("%s", rows[i].text.c_str());
        EXPECT_TRUE(rows[i].text.substr(0, rows[i].kept) + "\r\n" == PaneText()) << "row " << i << ": " << PaneText().size();
    }
}

// Two threads append long lines at once: no line is lost or mangled, each keeps its order, the end is in view.
TEST_F(LogPane, TwoThreadsAppendingLoseNoLineAndShowTheEnd)
{
    const int kLines = 150;
    const std::string filler(300, '.');
    auto writer = [&](char tag) {
        for (int i = 0; i < kLines; ++i)
            m_dlg->AppendLogText("%c%03d%s", tag, i, filler.c_str());
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();
    const std::string text = PaneText();
    ASSERT_GT(text.size(), 65536u);   // an edit control's default limit
    int next[2] = { 0, 0 };
    size_t lines = 0;
    for (size_t pos = 0, eol; pos < text.size(); pos = eol + 2, ++lines)
    {
        eol = text.find("\r\n", pos);
        ASSERT_NE(std::string::npos, eol) << "unterminated line at " << pos;
        const std::string line = text.substr(pos, eol - pos);
        ASSERT_TRUE(line.size() == 4 + filler.size() && (line[0] == 'A' || line[0] == 'B')) << "mangled line at " << pos;
        EXPECT_EQ(next[line[0] - 'A']++, std::stoi(line.substr(1, 3))) << "each writer's lines stay in order";
    }
    EXPECT_EQ(2u * kLines, lines);
    HWND hLog = ::GetDlgItem(s_run->hDlg, IDC_LOG);
    DWORD start = 0, end = 0;
    ::SendMessageA(hLog, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, end);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowTextLengthW(hLog)), end);     // caret after the last line
    EXPECT_GT(::SendMessageA(hLog, EM_GETFIRSTVISIBLELINE, 0, 0), 290);   // scrolled to the end
}

}   // namespace
