// Whole deployment runs without any window, against events that record what the run tells and asks.
#include "DeployFiles.h"
#include "DeployWorker.h"
#include "resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Recorder : IDeployEvents
{
    std::vector<std::string> log;
    std::vector<UINT> positions;
    std::vector<std::string> questions;
    std::vector<std::string> verdicts;
    UINT verdictType = 0;
    std::deque<BOOL> answers;   // for the questions, in turn; No when none is left
    size_t stopAtLine = ~size_t(0);

    void LogLine(const char* pszLine) override { log.push_back(pszLine); }
    void Progress(UINT nPos) override { positions.push_back(nPos); }
    BOOL AskYesNo(const char* pszQuestion, HRESULT) override
    {
        questions.push_back(pszQuestion);
        if (answers.empty())
            return FALSE;
        BOOL answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowVerdict(const char* pszText, UINT nType) override { verdicts.push_back(pszText), verdictType = nType; }
    BOOL IsStopRequested() override { return log.size() >= stopAtLine; }
};

class DeployRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_exe = FreshFolder("exe");
        ::CreateDirectoryA((m_exe + "web").c_str(), nullptr);
        ::CreateDirectoryA((m_exe + "web\\images").c_str(), nullptr);
        for (const char* name : { "web\\ZemWeb.htm", "web\\default.htm", "web\\images\\logo.gif", "web\\extra.htm", "a.htm",
                                  "a.htm ", "ZemSetup.exe", "Other.exe" })
            WriteTextFile(m_exe + name, std::string("content of ") + name);
        m_request.strModuleDir = m_exe.c_str();
        m_request.strListFile = (m_exe + "WebSetup.ini").c_str();
        m_request.strPackage = (m_exe + "ZemSetup.exe").c_str();
        // A double-byte folder name whose trail byte is 0x5C on the way to the target folder.
        Target(FreshFolder("target") + "pub" DBCS_5C "\\ZemWeb\\");
    }
    void Target(const std::string& folder) { m_request.strFolder = (m_target = folder).c_str(); }
    Recorder Run(const std::string& list, Recorder events = Recorder())
    {
        WriteTextFile(m_exe + "WebSetup.ini", "[FileList]\r\n" + list);
        m_result = DeployWorker(m_request, events);
        return events;
    }

    std::string m_exe;
    std::string m_target;
    InstallRequest m_request;
    DWORD m_result = ~0u;
};

TEST_F(DeployRun, WorkedExample)
{
    Recorder run = Run("FilesCount=5\r\nFile1=web\\ZemWeb.htm\r\nFile2=web\\default.htm,\r\nFile3=web\\images\\logo.gif,images\r\n"
                       "File4=\r\nFile5=,docs\r\nFile6=web\\extra.htm\r\n");
    const std::string& t = m_target;
    EXPECT_EQ(1u, m_result);
    EXPECT_EQ((std::vector<UINT>{ 0, 5, 15, 25, 35, 45, 80, 100 }), run.positions);
    EXPECT_EQ((std::vector<std::string>{ Msg(IDS_CREATE_ROOT, t.c_str()), Msg(IDS_COPYING_FILES), t + "ZemWeb.htm",
                                         t + "default.htm", t + "images\\logo.gif", t + "ZemSetup.exe", Msg(IDS_SETUP_FINISHED) }),
              run.log);
    EXPECT_EQ("content of web\\images\\logo.gif", ReadTextFile(t + "images\\logo.gif"));
    EXPECT_EQ("content of ZemSetup.exe", ReadTextFile(t + "ZemSetup.exe"));
    EXPECT_EQ("ZemSetup.exe|ZemWeb.htm|default.htm|images", FolderListing(t));   // no docs, no extra.htm, no work folder
    EXPECT_EQ((std::vector<std::string>{ Msg(IDS_SETUP_FINISHED) }), run.verdicts);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), run.verdictType);
    EXPECT_TRUE(run.questions.empty());
}

TEST_F(DeployRun, EntryEdgeCases)
{
    const struct
    {
        std::string list;
        std::vector<UINT> positions;
        std::string listing;   // of the target folder; each file there holds its source's content
    } rows[] = {
        // FilesCount below the keys present; File2 missing inside the range.
        { "FilesCount=3\r\nFile1=a.htm\r\nFile3=web\\extra.htm\r\nFile4=web\\ZemWeb.htm\r\n", { 0, 5, 21, 38, 55, 80, 100 }, "ZemSetup.exe|a.htm|extra.htm" },
        { "FilesCount=1\r\nFile1=a.htm,x,y\r\n", { 0, 5, 55, 80, 100 }, "ZemSetup.exe|x,y" },
        { "FilesCount=1\r\nFile1=a.htm , sub\r\n", { 0, 5, 55, 80, 100 }, " sub|ZemSetup.exe" },
        { "FilesCount=1\r\nFile1=web\\images\\logo.gif\r\n", { 0, 5, 55, 80, 100 }, "ZemSetup.exe|logo.gif" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        Target(FreshFolder("target" + std::to_string(i)) + "ZemWeb\\");
        Recorder run = Run(rows[i].list);
        EXPECT_EQ(rows[i].positions, run.positions) << "row " << i;
        EXPECT_EQ(rows[i].listing, FolderListing(m_target)) << "row " << i;
        EXPECT_EQ(Msg(IDS_SETUP_FINISHED), run.log.back()) << "row " << i;
    }
}

TEST_F(DeployRun, FailedCopiesAreCountedAndNothingPublishedIsLost)
{
    const std::string& t = m_target;
    ASSERT_TRUE(CreateDirectoryTree(t.c_str()));
    WriteTextFile(t + "missing.htm", "published before");
    ::CreateDirectoryA((t + "ZemSetup.exe").c_str(), nullptr);   // not removed for the package
    m_request.strPackage = (m_exe + "Other.exe").c_str();
    Recorder run = Run("FilesCount=5\r\nFile1=web\\ZemWeb.htm\r\nFile2=web\\default.htm\r\nFile3=web\\missing.htm\r\n"
                       "File4=..\\exe\\a.htm\r\nFile5=a.htm,..\\..\\escaped\r\n");
    EXPECT_EQ("published before", ReadTextFile(t + "missing.htm"));
    EXPECT_TRUE(IsDirectory(t + "ZemSetup.exe"));
    EXPECT_FALSE(IsDirectory(t + "..\\..\\escaped"));
    EXPECT_EQ("ZemSetup.exe|ZemWeb.htm|default.htm|missing.htm", FolderListing(t));
    ASSERT_EQ(13u, run.log.size());
    EXPECT_EQ((std::vector<std::string>{ t + "missing.htm", ErrorLine(ERROR_FILE_NOT_FOUND), t + "a.htm",
                                         ErrorLine(ERROR_BAD_PATHNAME), t + "..\\..\\escaped\\a.htm", ErrorLine(ERROR_BAD_PATHNAME),
                                         t + "ZemSetup.exe" }),
              std::vector<std::string>(run.log.begin() + 4, run.log.begin() + 11));
    EXPECT_EQ(0u, run.log[11].find("Error["));
    EXPECT_EQ((std::vector<std::string>{ Msg(IDS_SETUP_FAILED) }), run.verdicts);
    EXPECT_EQ(static_cast<UINT>(MB_OK), run.verdictType);
}

// A link inside the target folder that leads out of it, planted from the Unix side (ZEM_LINK_ROOT).
TEST_F(DeployRun, LinkOutOfTheTargetIsRefused)
{
    char szRoot[MAX_PATH] = {};
    if (!::GetEnvironmentVariableA("ZEM_LINK_ROOT", szRoot, MAX_PATH))
        GTEST_SKIP() << "no planted link (ZEM_LINK_ROOT)";
    std::string root = std::string("Z:") + szRoot;
    std::replace(root.begin(), root.end(), '/', '\\');
    Target(root + "\\target\\ZemWeb\\");
    Recorder run = Run("FilesCount=2\r\nFile1=a.htm,pages\r\nFile2=a.htm,pages\\sub\r\n");
    EXPECT_EQ(ErrorLine(ERROR_BAD_PATHNAME), run.log[3]);
    EXPECT_EQ(ErrorLine(ERROR_BAD_PATHNAME), run.log[5]);
    EXPECT_EQ(Msg(IDS_SETUP_FAILED), run.log.back());
    EXPECT_EQ("", FolderListing(root + "\\outside\\"));
}

// Resolves as the system does, but cannot tell where a folder named "unresolved" is, as Windows cannot
// for a junction to a volume without a drive letter or a share with a part that may not be read.
DWORD WINAPI FinalPathUnknownForSome(HANDLE hFile, LPWSTR pszPath, DWORD cch, DWORD dwFlags)
{
    DWORD n = ::GetFinalPathNameByHandleW(hFile, pszPath, cch, dwFlags);
    if (n == 0 || n >= cch || !wcsstr(pszPath, L"\\unresolved"))
        return n;
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}

TEST_F(DeployRun, FolderThatCannotBeResolvedCountsAsOutside)
{
    g_pfnGetFinalPathName = &FinalPathUnknownForSome;
    Recorder run = Run("FilesCount=3\r\nFile1=a.htm,unresolved\r\nFile2=a.htm,unresolved\\sub\r\nFile3=web\\extra.htm,fine\r\n");
    g_pfnGetFinalPathName = &::GetFinalPathNameByHandleW;
    ASSERT_EQ(9u, run.log.size());
    EXPECT_EQ(ErrorLine(ERROR_BAD_PATHNAME), run.log[3]);
    EXPECT_EQ(ErrorLine(ERROR_BAD_PATHNAME), run.log[5]);
    EXPECT_EQ("content of web\\extra.htm", ReadTextFile(m_target + "fine\\extra.htm"));
    EXPECT_EQ("", FolderListing(m_target + "unresolved\\"));
    EXPECT_EQ(Msg(IDS_SETUP_FAILED), run.log.back());
}

// A second Install while the published files are in use: a download holding the package, a scanner
// opening each new file. The run waits for them within its bound; past it the old file stays whole.
TEST_F(DeployRun, FilesInUseAreWaitedForOrKeptWhole)
{
    // The same file again and again: each time the scanner may still be looking at the last copy.
    const std::string list = "FilesCount=4\r\nFile1=a.htm\r\nFile2=a.htm\r\nFile3=a.htm\r\nFile4=a.htm\r\n";
    const struct
    {
        DWORD holdMs;
        bool scanner;
        UINT verdict;
        const char* package;
    } rows[] = {
        { 1000, false, IDS_SETUP_FINISHED, "content of Other.exe" },
        { 0, true, IDS_SETUP_FINISHED, "content of Other.exe" },
        { INFINITE, false, IDS_SETUP_FAILED, "content of ZemSetup.exe" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        m_request.strPackage = (m_exe + "ZemSetup.exe").c_str();
        ASSERT_EQ(Msg(IDS_SETUP_FINISHED), Run(list).log.back()) << "row " << i;
        m_request.strPackage = (m_exe + "Other.exe").c_str();
        Recorder run;
        {
            HeldFile held(rows[i].holdMs ? m_target + "ZemSetup.exe" : std::string(), rows[i].holdMs);
            std::unique_ptr<Scanner> scanner(rows[i].scanner ? new Scanner(m_target) : nullptr);
            run = Run(list);
            if (scanner)
            {
                EXPECT_LE(1, scanner->Stop()) << "row " << i;
            }
        }
        EXPECT_EQ(Msg(rows[i].verdict), run.log.back()) << "row " << i;
        EXPECT_EQ(rows[i].package, ReadTextFile(m_target + "ZemSetup.exe")) << "row " << i;
        EXPECT_EQ("ZemSetup.exe|a.htm", FolderListing(m_target)) << "row " << i;
    }
}

// The target holds only what was published: the work folders of runs ended from outside go with the next
// run (only those), and a copy that fails for the length of its name leaves no temporary file either.
TEST_F(DeployRun, LeavesNoDebrisAndClearsWhatEndedRunsLeft)
{
    ASSERT_TRUE(CreateDirectoryTree(m_target.c_str()));
    char szOwn[32];
    sprintf(szOwn, "zem%lx_3.tmp", ::GetCurrentProcessId());
    // ffffff0: an id no system gives a process. Then this process, which runs, and names not made as ours.
    for (const char* name : { "zemffffff0_3.tmp", "zemffffff0_5.tmp", static_cast<const char*>(szOwn), "zemffffff0_03.tmp" })
    {
        ::CreateDirectoryA((m_target + name).c_str(), nullptr);
        WriteTextFile(m_target + name + "\\zemffffff0_9.tmp", "partial copy");
    }
    WriteTextFile(m_target + "zemffffff0_5.tmp\\notes.txt", "not ours");
    WriteTextFile(m_target + "zemffffff0_6.tmp", "a file, not a work folder");
    Recorder run = Run("FilesCount=1\r\nFile1=a.htm\r\n");
    EXPECT_EQ(Msg(IDS_SETUP_FINISHED), run.log.back());
    EXPECT_EQ("ZemSetup.exe|a.htm|" + std::string(szOwn) + "|zemffffff0_03.tmp|zemffffff0_5.tmp|zemffffff0_6.tmp", FolderListing(m_target));
    EXPECT_EQ("notes.txt", FolderListing(m_target + "zemffffff0_5.tmp\\"));
    EXPECT_EQ("zemffffff0_9.tmp", FolderListing(m_target + szOwn + "\\"));

    for (size_t length : { 245u, 252u, 259u })
    {
        std::string t = FreshFolder("long" + std::to_string(length));
        Target(t + std::string(length - t.size() - 1, 'L') + "\\");
        run = Run("FilesCount=2\r\nFile1=web\\ZemWeb.htm\r\nFile2=web\\images\\logo.gif,sub\r\n");
        EXPECT_EQ(Msg(IDS_SETUP_FAILED), run.log.back()) << length;
        EXPECT_EQ(std::string::npos, (FolderListing(m_target) + FolderListing(m_target + "sub\\")).find("zem")) << length;
    }
}

TEST_F(DeployRun, VirtualDirectoryAndItsQuestion)
{
    ASSERT_TRUE(UseStoreWithSites("worker-store", 1)) << "mdutil could not seed the store (is the stand-in registered?)";
    m_request.bWebServerFound = TRUE;
    const std::vector<UINT> all = { 0, 5, 7, 17, 30, 42, 55, 80, 100 };
    const struct
    {
        int site;
        BOOL answer;
        std::vector<UINT> positions;
        DWORD hr;
        UINT text;
    } rows[] = {
        { 1, FALSE, all, S_OK, 0 },
        { 1, TRUE, all, 0x800700B7, IDS_ERR_ALREADY_EXISTS },   // made by the row before; Yes goes on
        { 1, FALSE, { 0, 5 }, 0x800700B7, IDS_ERR_ALREADY_EXISTS },
        { 0, FALSE, { 0, 5 }, 0x80070003, IDS_ERR_PATH_NOT_FOUND },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        m_request.nSite = rows[i].site;
        Recorder events;
        events.answers = { rows[i].answer };
        Recorder run = Run("FilesCount=4\r\nFile1=a.htm\r\nFile2=a.htm,b\r\nFile3=a.htm,c\r\nFile4=a.htm,d\r\n", events);
        EXPECT_EQ(rows[i].positions, run.positions) << "row " << i;
        EXPECT_EQ(Msg(IDS_CREATE_VDIR, "Zem", m_target.c_str()), run.log.at(1)) << "row " << i;
        const int hr = static_cast<int>(rows[i].hr);
        EXPECT_EQ(hr ? Msg(IDS_VDIR_FAILED_LOG, "Zem", hr, Msg(rows[i].text)) : Msg(IDS_COPYING_FILES), run.log.at(2))
            << "row " << i;
        EXPECT_EQ(hr ? std::vector<std::string>{ Msg(IDS_VDIR_FAILED_ASK, hr, Msg(rows[i].text)) }
                     : std::vector<std::string>(),
                  run.questions)
            << "row " << i;
        EXPECT_EQ(!hr || rows[i].answer ? 1u : 0u, run.verdicts.size()) << "row " << i;
    }
}

TEST_F(DeployRun, StopsWhenAskedAndEndsWithoutAVerdict)
{
    Recorder events;
    events.stopAtLine = 3;   // after the first entry's line
    Recorder run = Run("FilesCount=3\r\nFile1=a.htm\r\nFile2=web\\extra.htm\r\nFile3=web\\ZemWeb.htm\r\n", events);
    EXPECT_EQ(0u, m_result);
    EXPECT_EQ((std::vector<UINT>{ 0, 5, 21 }), run.positions);
    EXPECT_TRUE(run.verdicts.empty());
}

TEST_F(DeployRun, HugeCountIsBoundedAndLogged)
{
    Recorder run = Run("FilesCount=-1\r\nFile1=a.htm\r\n");
    ASSERT_GE(run.log.size(), 4u);
    EXPECT_EQ(0u, run.log[2].find("FilesCount=4294967295 > 1000: ")) << run.log[2];
    EXPECT_EQ(m_target + "a.htm", run.log[3]);
    EXPECT_EQ(Msg(IDS_SETUP_FINISHED), run.log.back());
    EXPECT_EQ(1000u + 4u, run.positions.size());
}

TEST_F(DeployRun, TargetFolderThatCannotBeCreatedEndsTheRun)
{
    std::string blocker = FreshFolder("blocked") + "file";
    WriteTextFile(blocker, "x");
    // A file above the target folder, and a file at the target folder's own name.
    for (const std::string& target : { blocker + "\\" + std::string(600, 'w') + "\\", blocker + "\\" })
    {
        Target(target);
        Recorder run = Run("FilesCount=0\r\n");
        EXPECT_EQ(0u, m_result);
        EXPECT_EQ((std::vector<std::string>{ Msg(IDS_CREATE_ROOT, m_target.c_str()), Msg(IDS_CANNOT_CREATE_DIR, m_target.c_str()) }),
                  run.log);
        EXPECT_EQ((std::vector<UINT>{ 0 }), run.positions);
        // The box quotes the folder cut short: it must stay drawable.
        EXPECT_EQ((std::vector<std::string>{ Msg(IDS_CANNOT_CREATE_DIR, QuoteForMessage(m_target.c_str())) }), run.verdicts);
        EXPECT_EQ(static_cast<UINT>(MB_OK), run.verdictType);
    }
}

}   // namespace
