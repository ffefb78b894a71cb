#include "MbcsPath.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Offset of the result in text, or -1 for null.
long Offset(const char* text, const char* result)
{
    return result ? static_cast<long>(result - text) : -1;
}

struct SearchCase
{
    const char* text;
    int ch;
    long first;          // FindCharMbcs, single-byte code page
    long last;           // FindLastCharMbcs, single-byte code page
    long firstDbcs;      // the same in a double-byte code page
    long lastDbcs;
};

const SearchCase kSearchCases[] = {
    { "abc", 'c', 2, 2, 2, 2 },
    { "abc", 0, 3, -1, 3, -1 },                       // the terminator is found only from the front
    { "abc", 'x', -1, -1, -1, -1 },
    { "abc", 0x100 + 'c', 2, 2, 2, 2 },               // only the low byte counts
    { "", 'a', -1, -1, -1, -1 },
    { "", 0, 0, -1, 0, -1 },
    { "a\\b\\c", '\\', 1, 3, 1, 3 },
    { "C:\\" DBCS_5C, '\\', 2, 4, 2, 2 },             // the trail byte is no backslash in 936/950
    { DBCS_5C "\\x", '\\', 1, 2, 2, 2 },
    { DBCS_5C "x", 0xD5, 0, 0, 0, 0 },                // a lead byte is a character start
    { "x" DBCS_5C DBCS_5C, 0x5C, 2, 4, -1, -1 },
};

TEST(MbcsPath, FindsCharactersOnlyAtCharacterStarts)
{
    const bool dbcs = IsDoubleByteCodePage();
    for (size_t i = 0; i < sizeof(kSearchCases) / sizeof(kSearchCases[0]); ++i)
    {
        const SearchCase& c = kSearchCases[i];
        EXPECT_EQ(dbcs ? c.firstDbcs : c.first, Offset(c.text, FindCharMbcs(c.text, c.ch))) << "row " << i;
        EXPECT_EQ(dbcs ? c.lastDbcs : c.last, Offset(c.text, FindLastCharMbcs(c.text, c.ch))) << "row " << i;
    }
    EXPECT_EQ(nullptr, FindCharMbcs(nullptr, 'a'));
    EXPECT_EQ(nullptr, FindLastCharMbcs(nullptr, 'a'));
}

class FileExists : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char szTemp[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, szTemp));
        m_folder = std::string(szTemp) + "zem_exists_" + std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(m_folder.c_str(), nullptr));
        m_file = m_folder + "\\package.exe";
        ASSERT_TRUE(Touch(m_file));
    }

    void TearDown() override
    {
        ::SetCurrentDirectoryA(m_previousDir.empty() ? "C:\\" : m_previousDir.c_str());
        for (const std::string& path : m_created)
            ::DeleteFileA(path.c_str()) || ::RemoveDirectoryA(path.c_str());
        ::DeleteFileA(m_file.c_str());
        ::RemoveDirectoryA(m_folder.c_str());
    }

    bool Touch(const std::string& path)
    {
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(h);
        return true;
    }

    std::string m_folder;
    std::string m_file;
    std::string m_previousDir;
    std::vector<std::string> m_created;
};

TEST_F(FileExists, AcceptsExistingFilesAndFoldersOnly)
{
    EXPECT_TRUE(FileExistsAtPath(m_file.c_str()));
    EXPECT_TRUE(FileExistsAtPath(m_folder.c_str()));                    // a folder passes as well
    EXPECT_FALSE(FileExistsAtPath((m_folder + "\\missing.exe").c_str()));
    EXPECT_FALSE(FileExistsAtPath(""));
    EXPECT_FALSE(FileExistsAtPath(nullptr));
}

TEST_F(FileExists, RefusesPathsFromTheRootOrTheNetworkEvenWhenTheyExist)
{
    // m_folder without its drive letter names the same folder from the root of the current drive.
    ASSERT_EQ(':', m_folder[1]);
    char szCurrent[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, szCurrent);
    m_previousDir = szCurrent;
    ASSERT_TRUE(::SetCurrentDirectoryA(m_folder.substr(0, 3).c_str()));
    const std::string fromRoot = m_file.substr(2);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(fromRoot.c_str()));
    EXPECT_FALSE(FileExistsAtPath(fromRoot.c_str()));
    EXPECT_FALSE(FileExistsAtPath("\\\\server\\share\\package.exe"));
}

TEST_F(FileExists, AcceptsABareNameInTheCurrentFolder)
{
    char szCurrent[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, szCurrent);
    m_previousDir = szCurrent;
    ASSERT_TRUE(::SetCurrentDirectoryA(m_folder.c_str()));
    EXPECT_TRUE(FileExistsAtPath("package.exe"));
    EXPECT_FALSE(FileExistsAtPath("other.exe"));
}

TEST_F(FileExists, FindsFilesInDoubleByteFolders)
{
    if (!IsDoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte code page";
    // A folder whose name ends in a character with the trail byte 0x5C, and a file in it.
    const std::string dbcsFolder = m_folder + "\\" DBCS_5C;
    ASSERT_TRUE(::CreateDirectoryA(dbcsFolder.c_str(), nullptr));
    const std::string dbcsFile = dbcsFolder + "\\ZemSetup.exe";
    ASSERT_TRUE(Touch(dbcsFile));
    m_created = { dbcsFile, dbcsFolder };
    EXPECT_TRUE(FileExistsAtPath(dbcsFolder.c_str()));
    EXPECT_TRUE(FileExistsAtPath(dbcsFile.c_str()));
    EXPECT_EQ(dbcsFolder.size(), static_cast<size_t>(FindLastCharMbcs(dbcsFile.c_str(), '\\') - dbcsFile.c_str()));
}

} // namespace
