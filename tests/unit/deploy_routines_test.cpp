#include "DeployFiles.h"
#include "InstallRequest.h"
#include "ListFile.h"
#include "resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ListFile, PartsThatLeaveTheirFolderAreRefused)
{
    struct
    {
        const char* part;
        bool contained;
    } rows[] = {
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
        { nullptr, false },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        EXPECT_EQ(rows[i].contained, IsContainedRelativePath(rows[i].part) != FALSE) << "row " << i;
}

// The section read at once gives, entry by entry, exactly what the platform's reader gives for one key.
TEST(ListFile, ReadingTheSectionAtOnceMatchesTheSingleReads)
{
    const std::string longValue = std::string(515, 'v') + DBCS_5C DBCS_5C DBCS_5C;
    const std::string list =
        "; comment\r\n[FileList]\r\nFilesCount=30\r\nFile1=web\\ZemWeb.htm\r\n  File2  =  a.htm , sub  \r\n"
        "file3=lower\r\nFile3=second\r\nFILE4=\"quoted\"\r\nFile5='single'\r\nFile6=\"open\r\nFile7=\"\"\r\nFile8=\"\r\n"
        "File9==eq=\r\nFile10\r\n;File11=commented\r\nFile12=" +
        std::string(700, 'x') + "\r\nFile13=" + longValue +
        "\r\nFile14=\"" + std::string(518, 'q') + "\"\r\nFile15=\"" + std::string(517, 'q') + "\"\r\nFile16=" DBCS_5C ",d\r\n"
                                                                                              "File 17=spaced key\r\nFile018=zero\r\nFile19=a;b\r\nFile20=\t tab \t\r\n[Other]\r\nFile21=other\r\n"
                                                                                              "[FileList]\r\nFile22=second section\r\nFile1=again\r\n";
    std::string path = FreshFolder("listsection") + "WebSetup.ini";
    ASSERT_TRUE(WriteTextFile(path, list));
    std::vector<CString> entries = ReadListEntries(path.c_str(), 30);
    ASSERT_EQ(30u, entries.size());
    for (UINT i = 1; i <= 30; ++i)
        EXPECT_STREQ(ReadListEntry(path.c_str(), i), entries[i - 1]) << "entry " << i;
    EXPECT_EQ(static_cast<int>(LIST_ENTRY_MAX), entries[11].GetLength());   // cut at 519 bytes
    // A list with a non-ASCII key, and one too large for the first buffer.
    ASSERT_TRUE(WriteTextFile(path, "[FileList]\r\nF" DBCS_5C "=x\r\nFile1=a\r\n" + std::string(100000, ';') + "\r\nFile2=b\r\n"));
    entries = ReadListEntries(path.c_str(), 2);
    EXPECT_STREQ("a", entries[0]);
    EXPECT_STREQ("b", entries[1]);
    EXPECT_TRUE(ReadListEntries((path + ".absent").c_str(), 2)[1].IsEmpty());
}

TEST(DeployPaths, ResolvedFolderMustLieInsideTheTarget)
{
    struct
    {
        const wchar_t* folder;
        const wchar_t* root;
        bool inside;
    } rows[] = {
        { L"\\\\?\\C:\\web", L"\\\\?\\C:\\web", true },
        { L"\\\\?\\C:\\web\\a\\b", L"\\\\?\\C:\\web", true },
        { L"\\\\?\\c:\\WEB\\a", L"\\\\?\\C:\\web", true },
        { L"\\\\?\\C:\\x", L"\\\\?\\C:\\", true },
        { L"\\\\?\\C:\\webs", L"\\\\?\\C:\\web", false },
        { L"\\\\?\\C:\\we", L"\\\\?\\C:\\web", false },
        { L"\\\\?\\D:\\web\\a", L"\\\\?\\C:\\web", false },
        { L"", L"\\\\?\\C:\\web", false },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        EXPECT_EQ(rows[i].inside, IsResolvedInside(rows[i].folder, rows[i].root) != FALSE) << "row " << i;
    std::string folder = FreshFolder("resolve");
    EXPECT_TRUE(IsResolvedInside(ResolvedFolder((folder + "..\\resolve\\").c_str()), ResolvedFolder(folder.c_str())));
    EXPECT_TRUE(ResolvedFolder((folder + "absent").c_str()).empty());
}

TEST(DeployPaths, MessagesQuoteAFieldCutShortOnACharacterBoundary)
{
    const bool dbcs = IsDoubleByteCodePage();
    const struct
    {
        std::string text;
        size_t max;
        std::string quoted;
    } rows[] = {
        { "C:\\pkg.exe", 10, "C:\\pkg.exe" },
        { "C:\\pkg.exe", 9, "C:\\pkg.ex..." },
        { std::string(40000, 'p'), MESSAGE_QUOTE_MAX, std::string(MESSAGE_QUOTE_MAX, 'p') + "..." },
        { "a" DBCS_5C DBCS_5C DBCS_5C, 4, dbcs ? "a" DBCS_5C "..." : "a" DBCS_5C "\xD5..." },
        { "", 0, "" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        EXPECT_EQ(rows[i].quoted, QuoteForMessage(rows[i].text.c_str(), rows[i].max).GetString()) << "row " << i;
}

// A name the code page cannot spell comes out with the default character, never as a look-alike path.
TEST(DeployPaths, UnicodeNamesAreNeverBestFitted)
{
    const bool dbcs = IsDoubleByteCodePage();   // 936 here: it has the full-width forms, not the circled ideograph
    const struct
    {
        const wchar_t* wide;
        const char* ansi;
        bool exact;
        const char* ansiDbcs;
        bool exactDbcs;
    } rows[] = {
        { L"C:\\web\\a\uFF3C\uFF0E\uFF0E\uFF3Cevil", "C:\\web\\a????evil", false,
          "C:\\web\\a\xA3\xDC\xA3\xAE\xA3\xAE\xA3\xDC"
          "evil",
          true },
        { L"D:\\\u3232", "D:\\?", false, "D:\\?", false },   // best fit would make it another ideograph
        { L"C:\\inetpub\\wwwroot", "C:\\inetpub\\wwwroot", true, "C:\\inetpub\\wwwroot", true },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        bool exact = !rows[i].exact;
        EXPECT_EQ(dbcs ? rows[i].ansiDbcs : rows[i].ansi, std::string(WideToAnsi(rows[i].wide, &exact))) << "row " << i;
        EXPECT_EQ(dbcs ? rows[i].exactDbcs : rows[i].exact, exact) << "row " << i;
    }
}

TEST(FileWork, ReplaceCopyReplacesAndNeverLosesThePublishedFile)
{
    const std::string folder = FreshFolder("filework");
    const std::string source = folder + "new.htm";
    ASSERT_TRUE(WriteTextFile(source, "new"));
    CWorkFolder work(folder.c_str());
    ASSERT_NE(nullptr, work.Path());
    const struct
    {
        const char* name;
        void (*prepare)(const std::string& dest);
        BOOL removeFolder;
        const char* source;    // nullptr: new.htm
        DWORD error;           // ERROR_SUCCESS, or ~0u for any failure
        const char* content;   // the destination afterwards; nullptr: a folder
        DWORD holdMs = 0;      // the destination held open (read and delete shared) that long; INFINITE: throughout
    } rows[] = {
        { "fresh.htm", [](const std::string&) {}, TRUE, nullptr, ERROR_SUCCESS, "new" },
        { "old.htm", [](const std::string& d) { WriteTextFile(d, "old"); }, TRUE, nullptr, ERROR_SUCCESS, "new" },
        { "readonly.htm", [](const std::string& d) {
             WriteTextFile(d, "old");
             ::SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
         },
          TRUE, nullptr, ERROR_SUCCESS, "new" },
        { "folder.htm", [](const std::string& d) { ::CreateDirectoryA(d.c_str(), nullptr); }, TRUE, nullptr, ERROR_SUCCESS, "new" },
        { "ZemSetup.exe", [](const std::string& d) { ::CreateDirectoryA(d.c_str(), nullptr); }, FALSE, nullptr, ~0u, nullptr },
        { "full.htm", [](const std::string& d) {
             ::CreateDirectoryA(d.c_str(), nullptr);
             WriteTextFile(d + "\\inside", "x");
         },
          TRUE, nullptr, ~0u, nullptr },
        { "kept.htm", [](const std::string& d) { WriteTextFile(d, "published"); }, TRUE, "absent.htm", ERROR_FILE_NOT_FOUND, "published" },
        { "no\\x.htm", [](const std::string&) {}, TRUE, nullptr, ERROR_PATH_NOT_FOUND, "<missing>" },
        { "served.htm", [](const std::string& d) { WriteTextFile(d, "old"); }, TRUE, nullptr, ERROR_SUCCESS, "new", 300 },
        { "held.htm", [](const std::string& d) { WriteTextFile(d, "old"); }, TRUE, nullptr, ERROR_ACCESS_DENIED, "old", INFINITE },
    };
    for (LPCSTR pszWork : { static_cast<LPCSTR>(nullptr), work.Path() })
        for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
        {
            std::string dest = folder + rows[i].name;
            RemoveTree(dest);
            rows[i].prepare(dest);
            HeldFile held(rows[i].holdMs ? dest : std::string(), rows[i].holdMs);
            DWORD error = ReplaceCopyFile(rows[i].source ? (folder + rows[i].source).c_str() : source.c_str(), dest.c_str(),
                                          rows[i].removeFolder, pszWork, 1500);
            if (rows[i].error == ~0u)
                EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), error) << "row " << i;
            else if (rows[i].error != ERROR_PATH_NOT_FOUND)
                EXPECT_EQ(rows[i].error, error) << "row " << i;
            else   // a missing folder is told as such
                EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << "row " << i << ": " << error;
            if (rows[i].content)
                EXPECT_EQ(rows[i].content, ReadTextFile(dest)) << "row " << i;
            else
                EXPECT_TRUE(IsDirectory(dest)) << "row " << i;
        }
    // No temporary file stays behind, whatever happened.
    EXPECT_EQ("", FolderListing(work.Path()));
    EXPECT_EQ(0u, FolderListing(folder).find("ZemSetup.exe|folder.htm|fresh.htm|full.htm|held.htm|kept.htm|new.htm|old.htm|"
                                             "readonly.htm|served.htm|zem"));
}

TEST(InstallChecks, RefusesInOrderAndFillsTheRequest)
{
    std::string folder = FreshFolder("install");
    std::string package = folder + "pkg.exe";
    ASSERT_TRUE(WriteTextFile(package, "MZ"));
    char szCurrent[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, szCurrent);
    ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str()));
    struct
    {
        std::string folder;
        std::string package;
        UINT message;
        int focus;
        const char* target;
    } rows[] = {
        { "  C:\\  ", package, IDS_ENTER_FOLDER, IDC_WEB_FOLDER, "C:\\" },
        { "", "", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, nullptr },
        { "\tC:\\a\r\n", " \t", IDS_ENTER_PACKAGE, IDC_PACKAGE, "C:\\a\\" },
        { "C:\\a", "\\" + package.substr(3), IDS_PACKAGE_NOT_FOUND, 0, "C:\\a\\" },   // from the root: refused
        { "C:\\a", "\\\\server\\share\\pkg.exe", IDS_PACKAGE_NOT_FOUND, 0, "C:\\a\\" },
        { "C:\\a\\", folder + "absent.exe", IDS_PACKAGE_NOT_FOUND, 0, "C:\\a\\" },
        { " C:\\a ", "  " + package + "  ", 0, 0, "C:\\a\\" },
        { "C:\\a", folder, 0, 0, "C:\\a\\" },      // a folder passes the check
        { "C:\\a", "pkg.exe", 0, 0, "C:\\a\\" },   // found in the current directory
        // Four bytes or more, and a full path once its variables are filled in: nothing is made relative
        // to the current directory.
        { "\xD5\x5C\xD5\x5C", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, nullptr },
        { "web\\pub", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, "web\\pub\\" },
        { "C:web", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, "C:web\\" },
        { "\\web\\pub", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, nullptr },
        { "\\\\server", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, nullptr },
        { "%ZEM_UNSET%\\wwwroot", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, "%ZEM_UNSET%\\wwwroot\\" },
        { "%SystemDrive%\\", "pkg.exe", IDS_ENTER_FOLDER, IDC_WEB_FOLDER, "C:\\" },
        { "%SystemDrive%\\inetpub\\wwwroot\\ZemWeb", "pkg.exe", 0, 0, "C:\\inetpub\\wwwroot\\ZemWeb\\" },
        { "\\\\server\\share\\ZemWeb", "pkg.exe", 0, 0, "\\\\server\\share\\ZemWeb\\" },
        { "d:/web", "pkg.exe", 0, 0, "d:/web\\" },
        // A name ending in a double-byte character whose trail byte is 0x5C still gets its backslash.
        { "C:\\" DBCS_5C, "pkg.exe", 0, 0, IsDoubleByteCodePage() ? "C:\\" DBCS_5C "\\" : "C:\\" DBCS_5C },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        InstallRequest request;
        InstallRefusal refusal = CheckInstallRequest(rows[i].folder.c_str(), rows[i].package.c_str(), request);
        EXPECT_EQ(rows[i].message, refusal.nMessageID) << "row " << i;
        EXPECT_EQ(rows[i].focus, refusal.nFocusID) << "row " << i;
        EXPECT_STREQ(rows[i].target ? rows[i].target : static_cast<LPCSTR>(request.strFolder), request.strFolder) << "row " << i;
        CString strPackage(rows[i].package.c_str());
        EXPECT_STREQ(strPackage.Trim(), request.strPackage) << "row " << i;
    }
    ::SetCurrentDirectoryA(szCurrent);
}

}   // namespace
