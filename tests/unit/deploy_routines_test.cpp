// The deployment's routines that need no window: list file, progress, paths, the file work and the
// Install checks.
#include "DeployFiles.h"
#include "InstallRequest.h"
#include "ListFile.h"
#include "deploy_test_support.h"
#include "resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ListFile, SplitsAtTheFirstCommaAndKeepsBlanks)
{
    struct { const char* value; const char* source; const char* dest; } rows[] = {
        { "web\\ZemWeb.htm", "web\\ZemWeb.htm", "" },
        { "web\\default.htm,", "web\\default.htm", "" },
        { "web\\images\\logo.gif,images", "web\\images\\logo.gif", "images" },
        { "a.htm,x,y", "a.htm", "x,y" },
        { "a.htm , sub", "a.htm ", " sub" },
        { ",docs", "", "docs" },
        { "", "", "" },
        { DBCS_5C ".htm," DBCS_5C, DBCS_5C ".htm", DBCS_5C },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        CString strSource("sentinel"), strDest("sentinel");
        SplitListEntry(rows[i].value, strSource, strDest);
        EXPECT_STREQ(rows[i].source, strSource) << "row " << i;
        EXPECT_STREQ(rows[i].dest, strDest) << "row " << i;
    }
}

TEST(ListFile, PartsThatLeaveTheirFolderAreRefused)
{
    struct { const char* part; bool contained; } rows[] = {
        { "", true },
        { "web\\a.htm", true },
        { "a..b\\..c\\x..", true },
        { ".\\a.htm", true },
        { DBCS_5C "\\a.htm", true },
        { "..", false },
        { "..\\secret.txt", false },
        { "web\\..\\..\\x", false },
        { "web/../../x", false },
        { "sub\\..", false },
        { "\\Windows\\win.ini", false },
        { "/etc/passwd", false },
        { "\\\\server\\share\\a", false },
        { "C:\\Windows\\win.ini", false },
        { "C:win.ini", false },
        { "a.htm:stream", false },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        EXPECT_EQ(rows[i].contained, IsContainedRelativePath(rows[i].part) != FALSE) << "row " << i << ": " << rows[i].part;
    EXPECT_FALSE(IsContainedRelativePath(nullptr));
}

TEST(ListFile, ProgressUsesUnsignedDivision)
{
    struct { UINT entry, count, pos; } rows[] = {
        { 1, 4, 17 }, { 2, 4, 30 }, { 3, 4, 42 }, { 4, 4, 55 },
        { 1, 3, 21 }, { 2, 3, 38 }, { 3, 3, 55 },
        { 1, 5, 15 }, { 4, 5, 45 },
        { 1, 26, 6 }, { 1, MAX_LIST_ENTRIES, 5 }, { MAX_LIST_ENTRIES, MAX_LIST_ENTRIES, 55 },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        EXPECT_EQ(rows[i].pos, EntryProgress(rows[i].entry, rows[i].count)) << "row " << i;
}

class ListFileReading : public ::testing::Test
{
protected:
    void SetUp() override { m_folder = FreshFolder("listfile"); }
    std::string Write(const std::string& text)
    {
        std::string path = m_folder + "WebSetup.ini";
        EXPECT_TRUE(WriteTextFile(path, text));
        return path;
    }
    std::string m_folder;
};

TEST_F(ListFileReading, ReadsCountAndEntriesThroughTheProfileFunctions)
{
    std::string path = Write("[FileList]\r\nFilesCount=5\r\nFile1=web\\ZemWeb.htm\r\nFile2=web\\default.htm,\r\n"
                             "File3=web\\images\\logo.gif,images\r\nFile4=\r\nFile5=,docs\r\nFile6=web\\extra.htm\r\n"
                             "File7=" + std::string(600, 'x') + "\r\n");
    EXPECT_EQ(5u, ReadFilesCount(path.c_str()));
    const char* expected[] = { "", "web\\ZemWeb.htm", "web\\default.htm,", "web\\images\\logo.gif,images", "", ",docs",
                               "web\\extra.htm" };
    for (UINT i = 1; i < sizeof(expected) / sizeof(expected[0]); ++i)
        EXPECT_STREQ(expected[i], ReadListEntry(path.c_str(), i)) << "entry " << i;
    EXPECT_STREQ("", ReadListEntry(path.c_str(), 9));                                  // missing key
    EXPECT_EQ(static_cast<int>(LIST_ENTRY_MAX), ReadListEntry(path.c_str(), 7).GetLength());   // cut at 519 bytes
}

TEST_F(ListFileReading, CountsThatAreMissingNegativeOrHugeAreBounded)
{
    struct { std::string text; UINT read; UINT bounded; } rows[] = {
        { "[Other]\r\nFilesCount=3\r\n", 0, 0 },
        { "[FileList]\r\nFile1=a\r\n", 0, 0 },
        { "[FileList]\r\nFilesCount=2\r\n", 2, 2 },
        { "[FileList]\r\nFilesCount=-1\r\n", 0xFFFFFFFFu, MAX_LIST_ENTRIES },
        { "[FileList]\r\nFilesCount=5000000\r\n", 5000000u, MAX_LIST_ENTRIES },
        { "[FileList]\r\nFilesCount=" + std::to_string(MAX_LIST_ENTRIES) + "\r\n", MAX_LIST_ENTRIES, MAX_LIST_ENTRIES },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        std::string path = Write(rows[i].text);
        UINT nCount = ReadFilesCount(path.c_str());
        EXPECT_EQ(rows[i].read, nCount) << "row " << i;
        EXPECT_EQ(rows[i].bounded, BoundFilesCount(nCount)) << "row " << i;
    }
    EXPECT_EQ(0u, ReadFilesCount((m_folder + "absent.ini").c_str()));
}

TEST(DeployPaths, TargetFolderGetsOneClosingBackslash)
{
    const bool dbcs = IsDoubleByteCodePage();
    struct { const char* text; const char* folder; const char* folderDbcs; } rows[] = {
        { "C:\\Inetpub\\wwwroot\\ZemWeb", "C:\\Inetpub\\wwwroot\\ZemWeb\\", nullptr },
        { "C:\\Inetpub\\wwwroot\\ZemWeb\\", "C:\\Inetpub\\wwwroot\\ZemWeb\\", nullptr },
        { "  C:\\web\\ \t", "C:\\web\\", nullptr },
        // A folder name ending in a double-byte character whose trail byte is 0x5C still needs one.
        { "C:\\" DBCS_5C, "C:\\" DBCS_5C, "C:\\" DBCS_5C "\\" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const char* expected = dbcs && rows[i].folderDbcs ? rows[i].folderDbcs : rows[i].folder;
        EXPECT_STREQ(expected, TargetFolderPath(rows[i].text)) << "row " << i;
    }
}

TEST(DeployPaths, VirtualDirectoryErrorsHaveTheirTexts)
{
    struct { HRESULT hr; UINT id; } rows[] = {
        { static_cast<HRESULT>(0x80070003), IDS_ERR_PATH_NOT_FOUND },
        { static_cast<HRESULT>(0x80070005), IDS_ERR_ACCESS_DENIED },
        { static_cast<HRESULT>(0x80070094), IDS_ERR_PATH_BUSY },
        { static_cast<HRESULT>(0x800700B7), IDS_ERR_ALREADY_EXISTS },
        { E_FAIL, 0 },
        { static_cast<HRESULT>(0x80040154), 0 },
        { static_cast<HRESULT>(0x00070003), 0 },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        EXPECT_EQ(rows[i].id, VirtualDirErrorID(rows[i].hr)) << "row " << i;
}

TEST(DeployPaths, SystemTextsEndWithTheirLineBreak)
{
    CString strText = SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GT(strText.GetLength(), 2);
    EXPECT_EQ('\n', strText.GetAt(strText.GetLength() - 1));
    EXPECT_STREQ("", SystemErrorText(0x2AFFFFFF));   // no text for the code
}

class FileWork : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = FreshFolder("filework");
        m_source = m_folder + "new.htm";
        ASSERT_TRUE(WriteTextFile(m_source, "new"));
    }
    std::string m_folder;
    std::string m_source;
};

TEST_F(FileWork, TreeCreationReportsWhetherTheFolderIsThere)
{
    std::string deep = m_folder + "a\\b" DBCS_5C "\\c";
    EXPECT_TRUE(CreateDirectoryTree(deep.c_str()));
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_TRUE(CreateDirectoryTree((deep + "\\").c_str()));   // exists already
    ASSERT_TRUE(WriteTextFile(m_folder + "file", "x"));
    EXPECT_FALSE(CreateDirectoryTree((m_folder + "file\\sub\\").c_str()));   // a file is in the way
    EXPECT_FALSE(CreateDirectoryTree(""));
}

TEST_F(FileWork, ReplaceCopyReplacesAndNeverLosesThePublishedFile)
{
    struct Row
    {
        const char* name;
        void (*prepare)(const std::string& dest);
        BOOL removeFolder;
        DWORD error;           // ERROR_SUCCESS, or any failure (~0u)
        const char* content;   // destination afterwards; nullptr: a folder
    };
    const Row rows[] = {
        { "fresh.htm", [](const std::string&) {}, TRUE, ERROR_SUCCESS, "new" },
        { "old.htm", [](const std::string& d) { WriteTextFile(d, "old"); }, TRUE, ERROR_SUCCESS, "new" },
        { "readonly.htm", [](const std::string& d) {
              WriteTextFile(d, "old");
              ::SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
          }, TRUE, ERROR_SUCCESS, "new" },
        { "folder.htm", [](const std::string& d) { ::CreateDirectoryA(d.c_str(), nullptr); }, TRUE, ERROR_SUCCESS, "new" },
        { "ZemSetup.exe", [](const std::string& d) { ::CreateDirectoryA(d.c_str(), nullptr); }, FALSE, ~0u, nullptr },
        { "full.htm", [](const std::string& d) {
              ::CreateDirectoryA(d.c_str(), nullptr);
              WriteTextFile(d + "\\inside", "x");
          }, TRUE, ~0u, nullptr },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        std::string dest = m_folder + rows[i].name;
        rows[i].prepare(dest);
        DWORD error = ReplaceCopyFile(m_source.c_str(), dest.c_str(), rows[i].removeFolder);
        if (rows[i].error == ERROR_SUCCESS)
            EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error) << "row " << i;
        else
            EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), error) << "row " << i;
        if (rows[i].content)
            EXPECT_EQ(rows[i].content, ReadTextFile(dest)) << "row " << i;
        else
            EXPECT_TRUE(IsDirectory(dest)) << "row " << i;
    }
    // A source that is missing fails with the system's code and leaves the published file as it was.
    std::string published = m_folder + "kept.htm";
    ASSERT_TRUE(WriteTextFile(published, "published"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReplaceCopyFile((m_folder + "absent.htm").c_str(), published.c_str(), TRUE));
    EXPECT_EQ("published", ReadTextFile(published));
    // No temporary file stays behind, whatever happened.
    EXPECT_EQ("ZemSetup.exe|folder.htm|fresh.htm|full.htm|kept.htm|new.htm|old.htm|readonly.htm", FolderListing(m_folder));
    // Into a folder that does not exist: told as not found, not as a bad temporary name.
    DWORD error = ReplaceCopyFile(m_source.c_str(), (m_folder + "no\\x.htm").c_str(), TRUE);
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
}

class InstallChecks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = FreshFolder("install");
        m_package = m_folder + "pkg.exe";
        ASSERT_TRUE(WriteTextFile(m_package, "MZ"));
    }
    std::string m_folder;
    std::string m_package;
};

TEST_F(InstallChecks, RefusesInOrder)
{
    char szCurrent[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, szCurrent);
    ASSERT_TRUE(::SetCurrentDirectoryA(m_folder.c_str()));
    struct { std::string folder; std::string package; UINT message; int focus; } rows[] = {
        { "  C:\\  ", m_package, IDS_ENTER_FOLDER, IDC_WEB_FOLDER },
        { "", "", IDS_ENTER_FOLDER, IDC_WEB_FOLDER },
        { "\tC:\\a\r\n", " \t", IDS_ENTER_PACKAGE, IDC_PACKAGE },
        { "C:\\a", "\\" + m_package.substr(3), IDS_PACKAGE_NOT_FOUND, 0 },
        { "C:\\a", m_folder + "absent.exe", IDS_PACKAGE_NOT_FOUND, 0 },
        { "C:\\a", "  " + m_package + "  ", 0, 0 },
        { "C:\\a", m_folder, 0, 0 },                    // a folder passes the check
        { "C:\\a", "pkg.exe", 0, 0 },                   // found in the current directory
        { "\xD5\x5C\xD5\x5C", "pkg.exe", 0, 0 },         // four bytes, whatever the characters
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        InstallRefusal refusal = CheckInstallRequest(rows[i].folder.c_str(), rows[i].package.c_str());
        EXPECT_EQ(rows[i].message, refusal.nMessageID) << "row " << i;
        EXPECT_EQ(rows[i].focus, refusal.nFocusID) << "row " << i;
    }
    ::SetCurrentDirectoryA(szCurrent);
}

} // namespace
