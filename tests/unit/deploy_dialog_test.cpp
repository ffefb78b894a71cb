// Install in the real main dialog: the worker's steps, progress positions, log, files and verdict, the
// virtual directory against the IIS stand-in, the refusals, closing during a run, and both pickers.
// The dialog runs on a thread of its own; the test plays the user. The executable folder and list file
// the worker uses are pointed at a staged folder after the dialog came up.
#include "DeployFiles.h"
#include "deploy_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <ctype.h>
#include <stdlib.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

using zem::ui::MessageBoxInfo;

std::mutex g_positionsMutex;
std::vector<int> g_positions;
WNDPROC g_pfnProgress = nullptr;

// Every position the worker gives the progress bar, in order.
LRESULT CALLBACK RecordProgress(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == PBM_SETPOS)
    {
        std::lock_guard<std::mutex> lock(g_positionsMutex);
        g_positions.push_back(static_cast<int>(wParam));
    }
    return ::CallWindowProcA(g_pfnProgress, hWnd, uMsg, wParam, lParam);
}

std::string Catalogue(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return std::string(str);
}

template <typename... Args>
std::string CatalogueFormat(UINT nID, Args... args)
{
    CString str;
    str.Format(nID, args...);
    return std::string(str);
}

std::string Utf16ToAnsi(const std::wstring& text)
{
    int cb = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string str(static_cast<size_t>(cb), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &str[0], cb, nullptr, nullptr);
    str.resize(static_cast<size_t>(cb > 0 ? cb - 1 : 0));
    return str;
}

// A visible message box of this process on another thread than the dialog's, or null.
HWND FindWorkerBox(DWORD uiThreadId)
{
    struct Search { DWORD ui; HWND found; } search = { uiThreadId, nullptr };
    ::EnumWindows([](HWND hWnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD pid = 0;
        DWORD tid = ::GetWindowThreadProcessId(hWnd, &pid);
        if (pid == ::GetCurrentProcessId() && tid != s->ui && ::IsWindowVisible(hWnd) && zem::ui::IsMessageBox(hWnd))
        {
            s->found = hWnd;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Whether the box shows the system's information icon.
bool HasInformationIcon(HWND hBox)
{
    HICON hInformation = ::LoadIconA(nullptr, IDI_ASTERISK);
    for (int id : { 0x14, 0x440 })
        if (HWND hIcon = ::GetDlgItem(hBox, id))
            if (::IsWindowVisible(hIcon) && reinterpret_cast<HICON>(::SendMessageA(hIcon, STM_GETICON, 0, 0)) == hInformation)
                return true;
    return false;
}

struct Box
{
    std::string text;
    bool hasIcon;
    bool information;
    bool yesNo;
};

struct RunResult
{
    std::vector<int> positions;
    std::vector<std::string> log;   // the pane's lines
    std::vector<Box> boxes;         // the worker's message boxes, in order
    bool ended = false;             // Install enabled again
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        lines.push_back(text.substr(start, pos - start));
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    for (const auto& l : lines)
        if (l == line)
            return true;
    return false;
}

class DeployDialog : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_store = FreshFolder("store") + "MetaBase.xml";
        s_root = FreshFolder("wwwroot");
        ::SetEnvironmentVariableA("ZEM_METABASE_PATH", s_store.c_str());
        s_siteSeeded = RunMdutil("add-site 1 \"Default Web Site\" \"" + s_root.substr(0, s_root.size() - 1) + "\" :80:") == 0;
        s_run = new MainDialogRun;
        if (s_run->hDlg)
        {
            HWND hProgress = ::GetDlgItem(s_run->hDlg, IDC_PROGRESS);
            g_pfnProgress = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtrA(hProgress, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordProgress)));
        }
    }
    static void TearDownTestSuite()
    {
        delete s_run;
        s_run = nullptr;
    }

    // mdutil beside the test, with this process's environment (and so its store); its exit code.
    static DWORD RunMdutil(const std::string& arguments)
    {
        std::string exe = Utf16ToAnsi(zem::ui::ExeFolder()) + "mdutil.exe";
        std::string command = "\"" + exe + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
            return ~0u;
        ::WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = ~0u;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        return code;
    }

    void SetUp() override
    {
        ASSERT_NE(nullptr, s_run->hDlg) << "the dialog did not come up";
        m_hDlg = s_run->hDlg;
        m_dlg = s_run->dlg;
        m_exe = FreshFolder("exe");
        // The executable folder as the worker sees it: pages, package and list file.
        ::CreateDirectoryA((m_exe + "web").c_str(), nullptr);
        ::CreateDirectoryA((m_exe + "web\\images").c_str(), nullptr);
        for (const char* name : { "web\\ZemWeb.htm", "web\\default.htm", "web\\images\\logo.gif", "web\\extra.htm",
                                  "a.htm", "a.htm ", "ZemSetup.exe", "Other.exe" })
            WriteTextFile(m_exe + name, std::string("content of ") + name);
        strcpy(m_dlg->m_szModuleDir, m_exe.c_str());
        strcpy(m_dlg->m_szListFile, (m_exe + "WebSetup.ini").c_str());
        m_dlg->m_bWebServerFound = FALSE;
        // A double-byte folder name whose trail byte is 0x5C on the way to the target folder.
        m_target = FreshFolder("target") + "pub" DBCS_5C "\\ZemWeb";
        SetField(IDC_WEB_FOLDER, m_target);
        SetField(IDC_PACKAGE, m_exe + "ZemSetup.exe");
    }

    void SetField(int nID, const std::string& text) { ::SetDlgItemTextA(m_hDlg, nID, text.c_str()); }
    std::string Field(int nID) { return WindowTextAnsi(::GetDlgItem(m_hDlg, nID)); }
    void WriteList(const std::string& body) { ASSERT_TRUE(WriteTextFile(m_dlg->m_szListFile, "[FileList]\r\n" + body)); }
    std::string Target() { return m_target + "\\"; }

    // Presses Install and plays the user until Install is enabled again: each box of the worker is read
    // and answered with the next of answers (then OK).
    RunResult Install(std::vector<int> answers = {})
    {
        {
            std::lock_guard<std::mutex> lock(g_positionsMutex);
            g_positions.clear();
        }
        RunResult result;
        HWND hInstall = ::GetDlgItem(m_hDlg, IDOK);
        ::SendMessageA(m_hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(hInstall));
        EXPECT_FALSE(::IsWindowEnabled(hInstall) && g_positions.empty()) << "Install started nothing";
        for (;;)
        {
            HWND hBox = nullptr;
            bool done = zem::ui::WaitUntil([&] {
                hBox = FindWorkerBox(s_run->uiThreadId);
                return hBox != nullptr || ::IsWindowEnabled(hInstall);
            });
            if (!done)
                break;
            if (!hBox)
            {
                result.ended = true;
                break;
            }
            MessageBoxInfo info = zem::ui::ReadMessageBox(hBox);
            Box box = { Utf16ToAnsi(info.text), info.hasIcon, HasInformationIcon(hBox), ::GetDlgItem(hBox, IDNO) != nullptr };
            result.boxes.push_back(box);
            int answer = answers.empty() ? IDOK : answers.front();
            if (!answers.empty())
                answers.erase(answers.begin());
            zem::ui::Answer(hBox, answer);
            zem::ui::WaitUntil([&] { return !::IsWindow(hBox); });
        }
        ::Sleep(50);   // the worker's last step after enabling Install is its return
        std::lock_guard<std::mutex> lock(g_positionsMutex);
        result.positions = g_positions;
        result.log = Lines(Field(IDC_LOG));
        return result;
    }

    static MainDialogRun* s_run;
    static std::string s_store;
    static std::string s_root;
    static bool s_siteSeeded;
    HWND m_hDlg = nullptr;
    CWebInstallDlg* m_dlg = nullptr;
    std::string m_exe;
    std::string m_target;
};

MainDialogRun* DeployDialog::s_run = nullptr;
std::string DeployDialog::s_store;
std::string DeployDialog::s_root;
bool DeployDialog::s_siteSeeded = false;

TEST_F(DeployDialog, WorkedExampleWithoutWebServer)
{
    WriteList("FilesCount=5\r\nFile1=web\\ZemWeb.htm\r\nFile2=web\\default.htm,\r\nFile3=web\\images\\logo.gif,images\r\n"
              "File4=\r\nFile5=,docs\r\nFile6=web\\extra.htm\r\n");
    RunResult run = Install();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ((std::vector<int>{ 0, 5, 15, 25, 35, 45, 80, 100 }), run.positions);
    const std::string t = Target();
    EXPECT_EQ((std::vector<std::string>{ CatalogueFormat(IDS_CREATE_ROOT, t.c_str()), Catalogue(IDS_COPYING_FILES),
                                         t + "ZemWeb.htm", t + "default.htm", t + "images\\logo.gif", t + "ZemSetup.exe",
                                         Catalogue(IDS_SETUP_FINISHED) }),
              run.log);
    EXPECT_EQ("content of web\\ZemWeb.htm", ReadTextFile(t + "ZemWeb.htm"));
    EXPECT_EQ("content of web\\images\\logo.gif", ReadTextFile(t + "images\\logo.gif"));
    EXPECT_EQ("content of ZemSetup.exe", ReadTextFile(t + "ZemSetup.exe"));
    EXPECT_EQ("ZemSetup.exe|ZemWeb.htm|default.htm|images", FolderListing(t));   // no docs, no extra.htm
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(Catalogue(IDS_SETUP_FINISHED), run.boxes[0].text);
    EXPECT_TRUE(run.boxes[0].information);
}

TEST_F(DeployDialog, EntryEdgeCases)
{
    struct Row
    {
        std::string list;
        std::vector<int> positions;
        std::vector<std::string> files;   // relative to the target folder, with the source's content
        std::string listing;
    };
    const Row rows[] = {
        // FilesCount below the keys present; File2 missing inside the range.
        { "FilesCount=3\r\nFile1=a.htm\r\nFile3=web\\extra.htm\r\nFile4=web\\ZemWeb.htm\r\n", { 0, 5, 21, 38, 55, 80, 100 },
          { "a.htm", "extra.htm" }, "ZemSetup.exe|a.htm|extra.htm" },
        { "FilesCount=1\r\nFile1=a.htm,x,y\r\n", { 0, 5, 55, 80, 100 }, { "x,y\\a.htm" }, "ZemSetup.exe|x,y" },
        { "FilesCount=1\r\nFile1=a.htm , sub\r\n", { 0, 5, 55, 80, 100 }, { " sub\\a.htm " }, " sub|ZemSetup.exe" },
        { "FilesCount=1\r\nFile1=web\\images\\logo.gif\r\n", { 0, 5, 55, 80, 100 }, { "logo.gif" }, "ZemSetup.exe|logo.gif" },
        // The second entry begins with a comma: no step for it.
        { "FilesCount=2\r\nFile1=a.htm\r\nFile2=,web\\ZemWeb.htm\r\n", { 0, 5, 30, 80, 100 }, { "a.htm" }, "ZemSetup.exe|a.htm" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        m_target = FreshFolder("target" + std::to_string(i)) + "ZemWeb";
        SetField(IDC_WEB_FOLDER, m_target);
        WriteList(rows[i].list);
        RunResult run = Install();
        ASSERT_TRUE(run.ended) << "row " << i;
        EXPECT_EQ(rows[i].positions, run.positions) << "row " << i;
        for (const std::string& file : rows[i].files)
        {
            std::string content = ReadTextFile(Target() + file);
            EXPECT_EQ(0u, content.find("content of ")) << "row " << i << ": " << file;
        }
        EXPECT_EQ(rows[i].listing, FolderListing(Target())) << "row " << i;
        EXPECT_EQ(Catalogue(IDS_SETUP_FINISHED), run.log.back()) << "row " << i;
    }
}

TEST_F(DeployDialog, FailedCopiesAreCountedAndNothingPublishedIsLost)
{
    const std::string t = Target();
    ASSERT_TRUE(CreateDirectoryTree(t.c_str()));
    WriteTextFile(t + "ZemWeb.htm", "old page");
    ::SetFileAttributesA((t + "ZemWeb.htm").c_str(), FILE_ATTRIBUTE_READONLY);
    ::CreateDirectoryA((t + "default.htm").c_str(), nullptr);          // empty folder named like an entry
    WriteTextFile(t + "missing.htm", "published before");
    ::CreateDirectoryA((t + "images").c_str(), nullptr);
    WriteList("FilesCount=6\r\nFile1=web\\ZemWeb.htm\r\nFile2=web\\default.htm\r\nFile3=web\\missing.htm\r\n"
              "File4=..\\exe\\a.htm\r\nFile5=a.htm,..\\..\\escaped\r\nFile6=web\\images\\logo.gif,images\r\n");
    SetField(IDC_PACKAGE, "  " + m_exe + "Other.exe  ");   // another name, blanks around it
    RunResult run = Install();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ("content of web\\ZemWeb.htm", ReadTextFile(t + "ZemWeb.htm"));
    EXPECT_EQ("content of web\\default.htm", ReadTextFile(t + "default.htm"));
    EXPECT_EQ("published before", ReadTextFile(t + "missing.htm"));
    EXPECT_EQ("content of Other.exe", ReadTextFile(t + "ZemSetup.exe"));
    EXPECT_FALSE(IsDirectory(t + "..\\..\\escaped"));
    EXPECT_EQ("ZemSetup.exe|ZemWeb.htm|default.htm|images|missing.htm", FolderListing(t));

    auto errorLine = [](DWORD code) { return "Error[" + std::to_string(code) + "]: " + std::string(SystemErrorText(code)); };
    std::vector<std::string> expected = { CatalogueFormat(IDS_CREATE_ROOT, t.c_str()), Catalogue(IDS_COPYING_FILES),
                                          t + "ZemWeb.htm", t + "default.htm", t + "missing.htm", errorLine(ERROR_FILE_NOT_FOUND),
                                          t + "a.htm", errorLine(ERROR_BAD_PATHNAME), t + "..\\..\\escaped\\a.htm",
                                          errorLine(ERROR_BAD_PATHNAME), t + "images\\logo.gif", t + "ZemSetup.exe",
                                          Catalogue(IDS_SETUP_FAILED) };
    // System texts end with a line break, so each error line is followed by an empty one.
    std::vector<std::string> log;
    for (const auto& line : run.log)
        if (!line.empty())
            log.push_back(line);
    for (auto& line : expected)
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
    EXPECT_EQ(expected, log);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(Catalogue(IDS_SETUP_FAILED), run.boxes[0].text);
    EXPECT_FALSE(run.boxes[0].information);

    // A folder named like the package is not removed: the package copy fails.
    m_target = FreshFolder("pkgfolder") + "ZemWeb";
    SetField(IDC_WEB_FOLDER, m_target);
    ASSERT_TRUE(CreateDirectoryTree((Target() + "ZemSetup.exe").c_str()));
    ::DeleteFileA(m_dlg->m_szListFile);   // no list file: only the package
    run = Install();
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(IsDirectory(Target() + "ZemSetup.exe"));
    ASSERT_EQ(5u, run.log.size() >= 5 ? 5u : run.log.size());
    EXPECT_EQ(Target() + "ZemSetup.exe", run.log[2]);
    EXPECT_EQ(0u, run.log[3].find("Error["));
    EXPECT_EQ(Catalogue(IDS_SETUP_FAILED), run.log.back());
    EXPECT_EQ((std::vector<int>{ 0, 5, 80, 100 }), run.positions);
}

TEST_F(DeployDialog, VirtualDirectoryInTheSelectedSite)
{
    ASSERT_TRUE(s_siteSeeded) << "mdutil could not seed the store (is the stand-in registered?)";
    m_dlg->m_bWebServerFound = TRUE;
    ::SendDlgItemMessageA(m_hDlg, IDC_SITE, CB_SETCURSEL, 0, 0);
    WriteList("FilesCount=4\r\nFile1=a.htm\r\nFile2=web\\ZemWeb.htm\r\nFile3=web\\default.htm\r\nFile4=web\\extra.htm\r\n");
    RunMdutil("delete /LM/W3SVC/1/ROOT/Zem");
    const std::string t = Target();
    const std::string createLine = CatalogueFormat(IDS_CREATE_VDIR, "Zem", t.c_str());

    RunResult run = Install();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ((std::vector<int>{ 0, 5, 7, 17, 30, 42, 55, 80, 100 }), run.positions);
    ASSERT_GE(run.log.size(), 3u);
    EXPECT_EQ(createLine, run.log[1]);
    EXPECT_EQ(Catalogue(IDS_COPYING_FILES), run.log[2]);
    EXPECT_EQ(Catalogue(IDS_SETUP_FINISHED), run.log.back());

    // The key exists now: 0x800700B7, with its text; Yes goes on.
    const std::string failLine = CatalogueFormat(IDS_VDIR_FAILED_LOG, "Zem", static_cast<int>(0x800700B7),
                                                 Catalogue(IDS_ERR_ALREADY_EXISTS).c_str());
    const std::string question = CatalogueFormat(IDS_VDIR_FAILED_ASK, static_cast<int>(0x800700B7),
                                                 Catalogue(IDS_ERR_ALREADY_EXISTS).c_str());
    EXPECT_NE(std::string::npos, failLine.find("-2147024713"));
    run = Install({ IDYES });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ((std::vector<int>{ 0, 5, 7, 17, 30, 42, 55, 80, 100 }), run.positions);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(question, run.boxes[0].text);
    EXPECT_TRUE(run.boxes[0].yesNo);
    EXPECT_TRUE(Contains(run.log, failLine));
    EXPECT_EQ(Catalogue(IDS_SETUP_FINISHED), run.log.back());

    // No ends the run at once, Install enabled, no verdict.
    run = Install({ IDNO });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ((std::vector<int>{ 0, 5 }), run.positions);
    EXPECT_EQ((std::vector<std::string>{ CatalogueFormat(IDS_CREATE_ROOT, t.c_str()), createLine, failLine }), run.log);
    ASSERT_EQ(1u, run.boxes.size());

    // Other failures: a site without key (no selection: site 0) has its text, an unreadable store none.
    struct { bool corrupt; std::string text; } rows[] = {
        { false, Catalogue(IDS_ERR_PATH_NOT_FOUND) },
        { true, "" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        std::string store = FreshFolder("badstore" + std::to_string(i)) + "MetaBase.xml";
        if (rows[i].corrupt)
        {
            WriteTextFile(store, "<configuration><broken");
            ::SetEnvironmentVariableA("ZEM_METABASE_PATH", store.c_str());
        }
        else
            ::SendDlgItemMessageA(m_hDlg, IDC_SITE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        run = Install({ IDNO });
        ::SetEnvironmentVariableA("ZEM_METABASE_PATH", s_store.c_str());
        ::SendDlgItemMessageA(m_hDlg, IDC_SITE, CB_SETCURSEL, 0, 0);
        ASSERT_TRUE(run.ended) << "row " << i;
        ASSERT_EQ(3u, run.log.size()) << "row " << i << ": " << Field(IDC_LOG);
        // The code is whatever the stand-in returned; the line is rebuilt around it.
        size_t minus = run.log[2].find_first_of('-');
        while (minus != std::string::npos && !isdigit(static_cast<unsigned char>(run.log[2][minus + 1])))
            minus = run.log[2].find_first_of('-', minus + 1);
        ASSERT_NE(std::string::npos, minus) << "row " << i << ": " << run.log[2];
        int code = static_cast<int>(strtol(run.log[2].c_str() + minus, nullptr, 10));
        EXPECT_EQ(CatalogueFormat(IDS_VDIR_FAILED_LOG, "Zem", code, rows[i].text.c_str()), run.log[2]) << "row " << i;
        ASSERT_EQ(1u, run.boxes.size()) << "row " << i;
        EXPECT_EQ(CatalogueFormat(IDS_VDIR_FAILED_ASK, code, rows[i].text.c_str()), run.boxes[0].text) << "row " << i;
        EXPECT_TRUE(run.boxes[0].yesNo) << "row " << i;
    }
}

TEST_F(DeployDialog, InstallRefusesBadFields)
{
    struct { std::string folder; std::string package; std::string text; int focus; } rows[] = {
        { "  C:\\  ", m_exe + "ZemSetup.exe", Catalogue(IDS_ENTER_FOLDER), IDC_WEB_FOLDER },
        { "", "", Catalogue(IDS_ENTER_FOLDER), IDC_WEB_FOLDER },
        { "C:\\a", "  ", Catalogue(IDS_ENTER_PACKAGE), IDC_PACKAGE },
        { "C:\\a", "\\" + m_exe.substr(3) + "ZemSetup.exe",
          CatalogueFormat(IDS_PACKAGE_NOT_FOUND, ("\\" + m_exe.substr(3) + "ZemSetup.exe").c_str()), IDC_SITE },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        SetField(IDC_WEB_FOLDER, rows[i].folder);
        SetField(IDC_PACKAGE, rows[i].package);
        ::SetDlgItemTextA(m_hDlg, IDC_LOG, "kept");
        HWND hSite = ::GetDlgItem(m_hDlg, IDC_SITE);
        zem::ui::Post(m_hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hSite), TRUE);
        zem::ui::Post(m_hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        MessageBoxInfo info = AnswerMessageBox(s_run->uiThreadId, IDOK);
        EXPECT_EQ(rows[i].text, Utf16ToAnsi(info.text)) << "row " << i;
        zem::ui::WaitUntil([&] { return FindThreadWindow(s_run->uiThreadId, zem::ui::IsMessageBox) == nullptr; });
        EXPECT_TRUE(zem::ui::WaitUntil([&] { return zem::ui::FocusOf(m_hDlg) == ::GetDlgItem(m_hDlg, rows[i].focus); },
                                       zem::ui::Millis{2000}))
            << "row " << i;
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_hDlg, IDOK))) << "row " << i;
        EXPECT_EQ("kept", Field(IDC_LOG)) << "row " << i;
        EXPECT_EQ(nullptr, FindWorkerBox(s_run->uiThreadId)) << "row " << i;
    }
    // A folder as package passes the checks (its copy then fails).
    SetField(IDC_WEB_FOLDER, m_target);
    SetField(IDC_PACKAGE, m_exe + "web");
    RunResult run = Install();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Catalogue(IDS_SETUP_FAILED), run.log.back());
}

TEST_F(DeployDialog, HugeCountIsBoundedAndLogged)
{
    WriteList("FilesCount=-1\r\nFile1=a.htm\r\n");
    RunResult run = Install();
    ASSERT_TRUE(run.ended);
    ASSERT_GE(run.log.size(), 4u);
    EXPECT_EQ(0u, run.log[2].find("FilesCount=4294967295 > 1000: ")) << run.log[2];
    EXPECT_EQ(Target() + "a.htm", run.log[3]);
    EXPECT_EQ(Catalogue(IDS_SETUP_FINISHED), run.log.back());
    EXPECT_EQ(1000u + 4u, run.positions.size());
}

TEST_F(DeployDialog, TargetFolderThatCannotBeCreatedEndsTheRun)
{
    std::string blocker = FreshFolder("blocked") + "file";
    WriteTextFile(blocker, "x");
    m_target = blocker + "\\ZemWeb";
    SetField(IDC_WEB_FOLDER, m_target);
    RunResult run = Install();
    ASSERT_TRUE(run.ended);
    const std::string t = Target();
    EXPECT_EQ((std::vector<std::string>{ CatalogueFormat(IDS_CREATE_ROOT, t.c_str()), CatalogueFormat(IDS_CANNOT_CREATE_DIR, t.c_str()) }),
              run.log);
    EXPECT_EQ((std::vector<int>{ 0 }), run.positions);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(CatalogueFormat(IDS_CANNOT_CREATE_DIR, t.c_str()), run.boxes[0].text);
}

} // namespace

namespace {

// A dialog of the UI thread other than the main dialog and message boxes: the picker that is up.
HWND WaitPicker(DWORD uiThreadId, HWND hMain)
{
    HWND hPicker = nullptr;
    zem::ui::WaitUntil([&] {
        hPicker = FindThreadWindow(uiThreadId, [hMain](HWND h) {
            return h != hMain && zem::ui::ClassName(h) == L"#32770" && !zem::ui::IsMessageBox(h);
        });
        return hPicker != nullptr;
    });
    return hPicker;
}

// The text of the folder the browser's tree has selected.
std::string SelectedFolderText(HWND hBrowser)
{
    HWND hTree = ::FindWindowExA(hBrowser, nullptr, "SysTreeView32", nullptr);
    HTREEITEM hItem = hTree ? TreeView_GetSelection(hTree) : nullptr;
    if (!hItem)
        return std::string();
    char szText[MAX_PATH] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = szText;
    item.cchTextMax = MAX_PATH;
    ::SendMessageA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return szText;
}

// The folder's own name, as the browser's tree shows it.
std::string LeafName(std::string path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path.substr(path.rfind('\\') + 1);
}

TEST_F(DeployDialog, FolderBrowserProposesZemWebBelowTheChoice)
{
    const bool dbcs = IsDoubleByteCodePage();
    std::string base = FreshFolder("browse");
    for (const char* name : { "ZemWebOld", "zemweb", "d" DBCS_5C })
        ::CreateDirectoryA((base + name).c_str(), nullptr);
    std::string exeFolder = m_exe.substr(0, m_exe.size() - 1);
    struct { std::string field; std::string choose; std::string expected; } rows[] = {
        { exeFolder, "", exeFolder + "\\ZemWeb" },   // the field's folder is preselected
        { exeFolder, "C:\\", "C:\\ZemWeb" },
        { base + "ZemWebOld", "", base + "ZemWebOld" },
        { base + "zemweb", "", base + "zemweb\\ZemWeb" },
        // In a single-byte code page the name is "d" and a character, and the backslash closes it.
        { base + "d" DBCS_5C, "", dbcs ? base + "d" DBCS_5C "\\ZemWeb" : base + "d\xD5\\ZemWeb" },
    };
    // In a fresh prefix Wine's shell builds its folder namespace during the first browse and selects
    // nothing then; one browse cancelled beforehand leaves every row below a browser like a user's.
    zem::ui::Command(m_hDlg, IDC_BROWSE_FOLDER);
    HWND hFirst = WaitPicker(s_run->uiThreadId, m_hDlg);
    ASSERT_NE(nullptr, hFirst);
    zem::ui::WaitUntil([&] { return !SelectedFolderText(hFirst).empty(); }, zem::ui::Millis{5000});
    zem::ui::Post(hFirst, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(zem::ui::WaitUntil([&] { return !::IsWindow(hFirst); }));
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        SetField(IDC_WEB_FOLDER, rows[i].field);
        zem::ui::Command(m_hDlg, IDC_BROWSE_FOLDER);
        HWND hBrowser = WaitPicker(s_run->uiThreadId, m_hDlg);
        ASSERT_NE(nullptr, hBrowser) << "row " << i;
        if (!rows[i].choose.empty())
            ::SendMessageA(hBrowser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(rows[i].choose.c_str()));
        // The browser fills its tree and selects the folder in steps of its own: answer only once it has.
        const std::string leaf = rows[i].choose.empty() ? LeafName(rows[i].field) : std::string("C:");
        EXPECT_TRUE(zem::ui::WaitUntil([&] { return SelectedFolderText(hBrowser).find(leaf) != std::string::npos; }))
            << "row " << i << ": selected '" << SelectedFolderText(hBrowser) << "'";
        zem::ui::Post(hBrowser, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(zem::ui::WaitUntil([&] { return !::IsWindow(hBrowser); })) << "row " << i;
        EXPECT_EQ(rows[i].expected, Field(IDC_WEB_FOLDER)) << "row " << i;
    }
    SetField(IDC_WEB_FOLDER, "kept");
    zem::ui::Command(m_hDlg, IDC_BROWSE_FOLDER);
    HWND hBrowser = WaitPicker(s_run->uiThreadId, m_hDlg);
    ASSERT_NE(nullptr, hBrowser);
    zem::ui::Post(hBrowser, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(zem::ui::WaitUntil([&] { return !::IsWindow(hBrowser); }));
    EXPECT_EQ("kept", Field(IDC_WEB_FOLDER));
}

TEST_F(DeployDialog, PackagePickerOpensOnZemSetupAndFillsTheField)
{
    SetField(IDC_PACKAGE, "kept");
    for (int answer : { IDCANCEL, IDOK })
    {
        zem::ui::Command(m_hDlg, IDC_BROWSE_PACKAGE);
        HWND hOpen = WaitPicker(s_run->uiThreadId, m_hDlg);
        ASSERT_NE(nullptr, hOpen);
        HWND hName = ::GetDlgItem(hOpen, 0x47C);   // cmb13, the file name box
        if (!hName)
            hName = ::GetDlgItem(hOpen, 0x480);    // edt1 in the older layout
        ASSERT_NE(nullptr, hName);
        EXPECT_EQ(Catalogue(IDS_PACKAGE_FILE_NAME), WindowTextAnsi(hName));
        EXPECT_EQ(1, static_cast<int>(::SendDlgItemMessageA(hOpen, 0x470, CB_GETCURSEL, 0, 0)));   // the .exe filter
        if (answer == IDOK)
            ::SetWindowTextA(hName, (m_exe + "Other.exe").c_str());
        zem::ui::Post(hOpen, WM_COMMAND, answer, 0);
        EXPECT_TRUE(zem::ui::WaitUntil([&] { return !::IsWindow(hOpen); }));
        EXPECT_EQ(answer == IDOK ? m_exe + "Other.exe" : "kept", Field(IDC_PACKAGE));
    }
}

// Closing the dialog while a run is under way, at several moments: the dialog ends, nothing hangs.
TEST(DeployClosing, ClosingDuringARunEndsCleanly)
{
    std::string store = FreshFolder("closestore") + "MetaBase.xml";
    std::string root = FreshFolder("closeroot");
    ::SetEnvironmentVariableA("ZEM_METABASE_PATH", store.c_str());
    std::string exe = FreshFolder("closeexe");
    WriteTextFile(exe + "ZemSetup.exe", "MZ");
    WriteTextFile(exe + "a.htm", "a");
    enum Moment { kRightAway, kQuestion, kVerdict };
    for (Moment moment : { kRightAway, kQuestion, kVerdict })
    {
        MainDialogRun run;
        ASSERT_NE(nullptr, run.hDlg) << "moment " << moment;
        CWebInstallDlg* dlg = run.dlg;
        strcpy(dlg->m_szModuleDir, exe.c_str());
        strcpy(dlg->m_szListFile, (exe + "list.ini").c_str());
        WriteTextFile(exe + "list.ini", moment == kRightAway ? "[FileList]\r\nFilesCount=-1\r\nFile1=a.htm\r\n"
                                                             : "[FileList]\r\nFilesCount=1\r\nFile1=a.htm\r\n");
        // The question comes from a virtual directory that cannot be created (no site in this store).
        dlg->m_bWebServerFound = moment == kQuestion;
        ::SetDlgItemTextA(run.hDlg, IDC_WEB_FOLDER, (FreshFolder("closetarget") + "ZemWeb").c_str());
        ::SetDlgItemTextA(run.hDlg, IDC_PACKAGE, (exe + "ZemSetup.exe").c_str());
        ::SendMessageA(run.hDlg, WM_COMMAND, IDOK, 0);
        if (moment != kRightAway)
        {
            EXPECT_TRUE(zem::ui::WaitUntil([&] { return FindWorkerBox(run.uiThreadId) != nullptr; })) << "moment " << moment;
        }
        zem::ui::Post(run.hDlg, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(zem::ui::WaitUntil([&] { return run.dlg == nullptr; }, zem::ui::Millis{20000})) << "moment " << moment;
        EXPECT_EQ(nullptr, FindWorkerBox(run.uiThreadId)) << "moment " << moment;
    }
}

} // namespace
