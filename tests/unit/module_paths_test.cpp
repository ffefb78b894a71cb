#include "ModulePaths.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

TEST(ModulePaths, FolderAndListFileBesideTheExecutableOrRefusedWhenTooLong)
{
    // A path of exactly `length` bytes: C:\ then folder names, ending in `tail`.
    auto pathOfLength = [](size_t length, const std::string& tail) {
        std::string path = "C:\\";
        while (path.size() + tail.size() < length)
            path += path.size() % 40 == 39 ? '\\' : 'd';
        return path + tail;
    };
    auto folderOf = [](const std::string& path) { return path.substr(0, path.rfind('\\') + 1); };
    const std::string longest = pathOfLength(MAX_PATH - 1, "\\setup.exe"), longE = pathOfLength(MAX_PATH - 1, "\\setup.e");
    const std::string shortE = pathOfLength(MAX_PATH - 2, "\\setup.e");
    const bool dbcs = IsDoubleByteCodePage();
    // An empty expectation: refused, nothing written.
    const struct
    {
        std::string exe;
        std::string dir;
        std::string ini;
    } rows[] = {
        { "C:\\Tools\\setup.exe", "C:\\Tools\\", "C:\\Tools\\setup.ini" },
        { "C:\\setup.x.exe", "C:\\", "C:\\setup.x.ini" },
        { "setup.exe", "setup.", "setup.ini" },   // no folder at all: nothing to cut
        // A trail byte 0x5C in the file name is no folder separator in a double-byte code page.
        { "C:\\dir\\a" DBCS_5C ".exe", dbcs ? "C:\\dir\\" : "C:\\dir\\a\xD5\\", "C:\\dir\\a" DBCS_5C ".ini" },
        { "C:\\" DBCS_5C "\\setup.exe", "C:\\" DBCS_5C "\\", "C:\\" DBCS_5C "\\setup.ini" },
        { longest, folderOf(longest), folderOf(longest) + "setup.ini" },   // the longest path returned whole
        { pathOfLength(MAX_PATH, "\\setup.exe"), "", "" },                 // what a cut path looks like
        { pathOfLength(MAX_PATH + 40, "\\setup.exe"), "", "" },
        { longE, folderOf(longE), "" },   // ".e" becomes ".ini": one byte too many
        { shortE, folderOf(shortE), shortE.substr(0, shortE.size() - 1) + "ini" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        // The two fixed buffers with guard bytes after each, so that a write past a buffer shows.
        struct
        {
            char dir[MAX_PATH + 1], guard1[16], ini[MAX_PATH + 1], guard2[16];
        } p;
        memset(&p, 0x7E, sizeof(p));
        SplitModulePath(rows[i].exe.c_str(), p.dir, p.ini);
        EXPECT_EQ(rows[i].dir, std::string(p.dir, strnlen(p.dir, sizeof(p.dir)))) << "row " << i;
        EXPECT_EQ(rows[i].ini, std::string(p.ini, strnlen(p.ini, sizeof(p.ini)))) << "row " << i;
        EXPECT_EQ(std::string(16, 0x7E), std::string(p.guard1, 16)) << "row " << i;
        EXPECT_EQ(std::string(16, 0x7E), std::string(p.guard2, 16)) << "row " << i;
    }
}

}   // namespace
