// Install in the real main dialog, closing during a run and the folder browser. The dialog runs on a
// thread of its own; the test plays the user.
#include "test_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

namespace {

// A visible message box of this process on another thread than the dialog's, or null.
HWND FindWorkerBox(DWORD uiThreadId)
{
    struct Search
    {
        DWORD ui;
        HWND found;
    } search = { uiThreadId, nullptr };
    ::EnumWindows([](HWND hWnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD pid = 0;
        DWORD tid = ::GetWindowThreadProcessId(hWnd, &pid);
        if (pid == ::GetCurrentProcessId() && tid != s->ui && ::IsWindowVisible(hWnd) && zem::ui::IsMessageBox(hWnd))
            s->found = hWnd;
        return s->found == nullptr;
    },
                  reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class DeployDialog : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_sitesSeeded = UseStoreWithSites("dialog-store", 2), s_run = new MainDialogRun; }
    static void TearDownTestSuite() { delete s_run; }
    void SetUp() override
    {
        ASSERT_NE(nullptr, s_run->hDlg) << "the dialog did not come up";
        m_hDlg = s_run->hDlg;
        m_exe = FreshFolder("exe");
        for (const char* name : { "a.htm", "b.htm", "ZemSetup.exe" })
            WriteTextFile(m_exe + name, std::string("content of ") + name);
        s_run->dlg.load()->SetModulePaths(m_exe.c_str(), (m_exe + "WebSetup.ini").c_str());
        m_target = FreshFolder("target") + "ZemWeb";
        SetField(IDC_WEB_FOLDER, m_target);
        SetField(IDC_PACKAGE, m_exe + "ZemSetup.exe");
    }

    void SetField(int nID, const std::string& text) { ::SetDlgItemTextA(m_hDlg, nID, text.c_str()); }
    std::string Field(int nID) { return WindowTextAnsi(::GetDlgItem(m_hDlg, nID)); }
    // The dialog a Browse button opened on the dialog's thread, or null when none came.
    HWND WaitPicker()
    {
        HWND hPicker = nullptr;
        zem::ui::WaitUntil([&] {
            return (hPicker = FindThreadWindow(s_run->uiThreadId, [this](HWND h) {
                        return h != m_hDlg && zem::ui::ClassName(h) == L"#32770" && !zem::ui::IsMessageBox(h);
                    })) != nullptr;
        });
        return hPicker;
    }

    static MainDialogRun* s_run;
    static bool s_sitesSeeded;
    HWND m_hDlg = nullptr;
    std::string m_exe;
    std::string m_target;
};

MainDialogRun* DeployDialog::s_run = nullptr;
bool DeployDialog::s_sitesSeeded = false;

TEST_F(DeployDialog, InstallRefusesBadFields)
{
    const std::string longPackage = "C:\\" + std::string(40000, 'p');
    const struct
    {
        std::string folder;
        std::string package;
        std::string text;
        int focus;
    } rows[] = {
        { "  C:\\  ", m_exe + "ZemSetup.exe", Msg(IDS_ENTER_FOLDER), IDC_WEB_FOLDER },
        { "C:\\a", "  ", Msg(IDS_ENTER_PACKAGE), IDC_PACKAGE },
        // A field far longer than a box can draw is quoted cut short.
        { "C:\\a", longPackage, Msg(IDS_PACKAGE_NOT_FOUND, ("C:\\" + std::string(MESSAGE_QUOTE_MAX - 3, 'p') + "...").c_str()), IDC_SITE },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        SetField(IDC_WEB_FOLDER, rows[i].folder);
        SetField(IDC_PACKAGE, rows[i].package);
        SetField(IDC_LOG, "kept");
        zem::ui::Post(m_hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(m_hDlg, IDC_SITE)), TRUE);
        zem::ui::Post(m_hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        HWND hBox = nullptr;
        ASSERT_TRUE(zem::ui::WaitUntil([&] { return (hBox = FindThreadWindow(s_run->uiThreadId, zem::ui::IsMessageBox)) != nullptr; }));
        EXPECT_EQ(AnsiToWide(rows[i].text.c_str()), zem::ui::ReadMessageBox(hBox).text) << "row " << i;
        zem::ui::Answer(hBox, IDOK);
        zem::ui::WaitUntil([&] { return FindThreadWindow(s_run->uiThreadId, zem::ui::IsMessageBox) == nullptr; });
        // With no window manager, X may take the activation from the dialog as the box goes, and the thread
        // is left without focus: the dialog, active again, must give the focus to the field all the same.
        HWND hFocus = nullptr;
        EXPECT_TRUE(zem::ui::WaitUntil([&] {
            if (!(hFocus = zem::ui::FocusOf(m_hDlg)))
                ::SetForegroundWindow(m_hDlg);
            return hFocus == ::GetDlgItem(m_hDlg, rows[i].focus);
        },
                                       zem::ui::Millis{ 5000 }))
            << "row " << i << ": the focus is on control " << ::GetDlgCtrlID(hFocus);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_hDlg, IDOK))) << "row " << i;
        EXPECT_EQ("kept", Field(IDC_LOG)) << "row " << i;
    }
}

TEST_F(DeployDialog, InstallShowsTheRunAndUsesTheSiteChosenWhenPressed)
{
    ASSERT_TRUE(s_sitesSeeded) << "mdutil could not seed the store (is the stand-in registered?)";
    WriteTextFile(m_exe + "WebSetup.ini", "[FileList]\r\nFilesCount=4\r\nFile1=a.htm\r\nFile2=b.htm\r\nFile3=missing.htm\r\nFile4=a.htm,sub\r\n");
    ::SendDlgItemMessageA(m_hDlg, IDC_SITE, CB_SETCURSEL, 1, 0);   // site 2
    EXPECT_EQ(2, s_run->dlg.load()->SelectedSite());
    ::SendDlgItemMessageA(m_hDlg, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    HWND hInstall = ::GetDlgItem(m_hDlg, IDOK);
    ::SendMessageA(m_hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(hInstall));
    EXPECT_FALSE(::IsWindowEnabled(hInstall));
    ::SendDlgItemMessageA(m_hDlg, IDC_SITE, CB_SETCURSEL, 0, 0);   // changed during the run: no effect

    HWND hBox = nullptr;
    ASSERT_TRUE(zem::ui::WaitUntil([&] { return (hBox = FindWorkerBox(s_run->uiThreadId)) != nullptr; }));
    EXPECT_EQ(AnsiToWide(Msg(IDS_SETUP_FAILED).c_str()), zem::ui::ReadMessageBox(hBox).text);
    zem::ui::Answer(hBox, IDOK);
    EXPECT_TRUE(zem::ui::WaitUntil([&] { return ::IsWindowEnabled(hInstall) != FALSE; }));
    // The pane holds the whole run by the time Install is enabled again.
    const std::string t = m_target + "\\";
    EXPECT_EQ(Msg(IDS_CREATE_ROOT, t.c_str()) + "\r\n" + Msg(IDS_CREATE_VDIR, "Zem", t.c_str()) + "\r\n" + Msg(IDS_COPYING_FILES) +
                  "\r\n" + t + "a.htm\r\n" + t + "b.htm\r\n" + t + "missing.htm\r\n" + ErrorLine(2) + "\r\n" + t +
                  "sub\\a.htm\r\n" + t + "ZemSetup.exe\r\n" + Msg(IDS_SETUP_FAILED) + "\r\n",
              Field(IDC_LOG));
    EXPECT_EQ(100, ::SendDlgItemMessageA(m_hDlg, IDC_PROGRESS, PBM_GETPOS, 0, 0));   // every step is the worker's test
    EXPECT_EQ(0u, RunMdutil("show /LM/W3SVC/2/ROOT/Zem"));
    EXPECT_NE(0u, RunMdutil("show /LM/W3SVC/1/ROOT/Zem"));
    ::SendDlgItemMessageA(m_hDlg, IDC_SITE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(0, s_run->dlg.load()->SelectedSite());
}

// The browser opens at the field's folder; OK puts the choice, made the target folder, into the field.
TEST_F(DeployDialog, FolderBrowserStartsAtTheFieldAndProposesZemWeb)
{
    std::string base = FreshFolder("browse");
    ::CreateDirectoryA((base + "zemweb").c_str(), nullptr);
    auto selectedFolder = [](HWND hBrowser) {
        HWND hTree = ::FindWindowExA(hBrowser, nullptr, "SysTreeView32", nullptr);
        char szText[MAX_PATH] = {};
        TVITEMA item = {};
        item.mask = TVIF_TEXT;
        item.hItem = hTree ? TreeView_GetSelection(hTree) : nullptr;
        item.pszText = szText;
        item.cchTextMax = MAX_PATH;
        return item.hItem && ::SendMessageA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ? std::string(szText) : "";
    };
    // In a fresh prefix Wine's shell builds its folder namespace during the first browses and selects
    // nothing meanwhile: browses are cancelled until one selects, as a user would try again.
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        const bool last = attempt == 4;
        SetField(IDC_WEB_FOLDER, base + "zemweb");
        zem::ui::Command(m_hDlg, IDC_BROWSE_FOLDER);
        HWND hBrowser = WaitPicker();
        ASSERT_NE(nullptr, hBrowser);
        bool ready = zem::ui::WaitUntil([&] { return selectedFolder(hBrowser) == "zemweb"; }, zem::ui::Millis{ 10000 });
        zem::ui::Post(hBrowser, WM_COMMAND, ready || last ? IDOK : IDCANCEL, 0);
        ASSERT_TRUE(zem::ui::WaitUntil([&] { return !::IsWindow(hBrowser); }));
        EXPECT_EQ(ready || last ? base + "zemweb\\ZemWeb" : base + "zemweb", Field(IDC_WEB_FOLDER)) << attempt;
        if (ready)
            break;
    }
}

// The Open dialog proposes the package's name with the .exe filter chosen; Cancel keeps the field, OK fills it.
TEST_F(DeployDialog, PackagePickerProposesZemSetupAndFillsTheField)
{
    SetField(IDC_PACKAGE, "kept");
    for (int answer : { IDCANCEL, IDOK })
    {
        zem::ui::Command(m_hDlg, IDC_BROWSE_PACKAGE);
        HWND hOpen = WaitPicker();
        ASSERT_NE(nullptr, hOpen);
        HWND hName = ::GetDlgItem(hOpen, 0x47C);   // the file name box (cmb13), edt1 in the older layout
        if (!hName)
            hName = ::GetDlgItem(hOpen, 0x480);
        ASSERT_NE(nullptr, hName);
        EXPECT_EQ(Msg(IDS_PACKAGE_FILE_NAME), WindowTextAnsi(hName));
        EXPECT_EQ(1, static_cast<int>(::SendDlgItemMessageA(hOpen, 0x470, CB_GETCURSEL, 0, 0)));   // the .exe filter
        if (answer == IDOK)
            ::SetWindowTextA(hName, (m_exe + "ZemSetup.exe").c_str());
        zem::ui::Post(hOpen, WM_COMMAND, answer, 0);
        ASSERT_TRUE(zem::ui::WaitUntil([&] { return !::IsWindow(hOpen); }));
        EXPECT_EQ(answer == IDOK ? m_exe + "ZemSetup.exe" : "kept", Field(IDC_PACKAGE));
    }
}

// Closing the dialog while a run is under way, at several moments: the dialog ends, nothing hangs.
TEST(DeployClosing, ClosingDuringARunEndsCleanly)
{
    std::string exe = FreshFolder("closeexe");
    WriteTextFile(exe + "ZemSetup.exe", "MZ");
    WriteTextFile(exe + "a.htm", "a");
    enum Moment { kRightAway,
                  kQuestion,
                  kVerdict };
    for (Moment moment : { kRightAway, kQuestion, kVerdict })
    {
        // The question comes from a virtual directory that cannot be created: the site the dialog found
        // at start-up is gone from the store when Install is pressed.
        ASSERT_TRUE(UseStoreWithSites("closestore", moment == kQuestion ? 1 : 0));
        MainDialogRun run;
        ASSERT_NE(nullptr, run.hDlg) << "moment " << moment;
        UseStoreWithSites("closestore", 0);
        run.dlg.load()->SetModulePaths(exe.c_str(), (exe + "list.ini").c_str());
        WriteTextFile(exe + "list.ini", moment == kRightAway ? "[FileList]\r\nFilesCount=-1\r\nFile1=a.htm\r\n"
                                                             : "[FileList]\r\nFilesCount=1\r\nFile1=a.htm\r\n");
        ::SetDlgItemTextA(run.hDlg, IDC_WEB_FOLDER, (FreshFolder("closetarget") + "ZemWeb").c_str());
        ::SetDlgItemTextA(run.hDlg, IDC_PACKAGE, (exe + "ZemSetup.exe").c_str());
        ::SendMessageA(run.hDlg, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(moment == kRightAway || zem::ui::WaitUntil([&] { return FindWorkerBox(run.uiThreadId) != nullptr; }))
            << "moment " << moment;
        zem::ui::Post(run.hDlg, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(zem::ui::WaitUntil([&] { return run.dlg == nullptr; }, zem::ui::Millis{ 20000 })) << "moment " << moment;
        EXPECT_EQ(nullptr, FindWorkerBox(run.uiThreadId)) << "moment " << moment;
    }
}

}   // namespace
