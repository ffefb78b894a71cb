#include "ModulePaths.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

// The two fixed buffers with guard bytes after each, so that a write past a buffer shows.
struct GuardedPaths
{
    char moduleDir[MAX_PATH + 1];
    char guard1[16];
    char listFile[MAX_PATH + 1];
    char guard2[16];

    GuardedPaths() { memset(this, 0x7E, sizeof(*this)); }
    bool GuardsIntact() const
    {
        for (size_t i = 0; i < sizeof(guard1); ++i)
            if (guard1[i] != 0x7E || guard2[i] != 0x7E)
                return false;
        return true;
    }
};

// A path of exactly `length` bytes: C:\ then folder names, ending in `tail`.
std::string PathOfLength(size_t length, const std::string& tail)
{
    std::string path = "C:\\";
    while (path.size() + tail.size() < length)
        path += path.size() % 40 == 39 ? '\\' : 'd';
    return path + tail;
}

TEST(ModulePaths, FolderAndListFileBesideTheExecutable)
{
    const bool dbcs = IsDoubleByteCodePage();
    struct { std::string exe; std::string dir; std::string ini; } rows[] = {
        { "C:\\Tools\\setup.exe", "C:\\Tools\\", "C:\\Tools\\setup.ini" },
        { "C:\\setup.x.exe", "C:\\", "C:\\setup.x.ini" },
        { "setup.exe", "setup.", "setup.ini" },                       // no folder at all: nothing to cut
        // A trail byte 0x5C in the file name is no folder separator in a double-byte code page.
        { "C:\\dir\\a" DBCS_5C ".exe", dbcs ? "C:\\dir\\" : "C:\\dir\\a\xD5\\", "C:\\dir\\a" DBCS_5C ".ini" },
        { "C:\\" DBCS_5C "\\setup.exe", "C:\\" DBCS_5C "\\", "C:\\" DBCS_5C "\\setup.ini" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        GuardedPaths p;
        SplitModulePath(rows[i].exe.c_str(), p.moduleDir, p.listFile);
        EXPECT_EQ(rows[i].dir, p.moduleDir) << "row " << i;
        EXPECT_EQ(rows[i].ini, p.listFile) << "row " << i;
        EXPECT_TRUE(p.GuardsIntact()) << "row " << i;
    }
}

TEST(ModulePaths, PathsTooLongForTheBuffersAreRefusedNotCut)
{
    struct { size_t length; std::string tail; bool dir; bool ini; } rows[] = {
        { MAX_PATH - 1, "\\setup.exe", true, true },    // the longest path the system returns whole
        { MAX_PATH, "\\setup.exe", false, false },      // what a cut path looks like
        { MAX_PATH + 40, "\\setup.exe", false, false },
        { MAX_PATH - 1, "\\setup.e", true, false },     // ".e" becomes ".ini": one byte too many
        { MAX_PATH - 2, "\\setup.e", true, true },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const std::string exe = PathOfLength(rows[i].length, rows[i].tail);
        ASSERT_EQ(rows[i].length, exe.size()) << "row " << i;
        GuardedPaths p;
        SplitModulePath(exe.c_str(), p.moduleDir, p.listFile);
        EXPECT_EQ(rows[i].dir, p.moduleDir[0] != '\0') << "row " << i;
        EXPECT_EQ(rows[i].ini, p.listFile[0] != '\0') << "row " << i;
        if (rows[i].dir)
        {
            EXPECT_EQ(exe.substr(0, exe.rfind('\\') + 1), p.moduleDir) << "row " << i;
        }
        EXPECT_TRUE(p.GuardsIntact()) << "row " << i;
    }
}

} // namespace
