// The rules behind the two Browse buttons, apart from the dialogs they open.
#include "FolderPicker.h"
#include "PackagePicker.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

TEST(FolderPicker, ChosenFolderBecomesTheTargetFolder)
{
    const bool dbcs = IsDoubleByteCodePage();
    struct { std::string chosen; std::string field; std::string fieldDbcs; } rows[] = {
        { "C:\\", "C:\\ZemWeb", "" },
        { "D:\\Inetpub\\wwwroot", "D:\\Inetpub\\wwwroot\\ZemWeb", "" },
        { "D:\\ZemWebOld\\pages", "D:\\ZemWebOld\\pages", "" },
        { "D:\\zemweb", "D:\\zemweb\\ZemWeb", "" },
        { "D:\\a\\ZemWeb", "D:\\a\\ZemWeb", "" },
        { "share", "shareZemWeb", "" },
        // Ends in a trail byte 0x5C: a separator is still needed in a double-byte code page.
        { "D:\\" DBCS_5C, "D:\\" DBCS_5C "ZemWeb", "D:\\" DBCS_5C "\\ZemWeb" },
        { std::string("D:\\") + std::string(249, 'a'), std::string("D:\\") + std::string(249, 'a') + "\\ZemWeb", "" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        char szPath[MAX_PATH + 1];
        memset(szPath, 0x7E, sizeof(szPath));
        strcpy(szPath, rows[i].chosen.c_str());
        EXPECT_TRUE(AppendZemWebFolder(szPath)) << "row " << i;
        const std::string& expected = dbcs && !rows[i].fieldDbcs.empty() ? rows[i].fieldDbcs : rows[i].field;
        EXPECT_EQ(expected, szPath) << "row " << i;
    }
}

TEST(FolderPicker, FolderTooLongForZemWebIsRefusedUnchanged)
{
    for (size_t length : { 253u, 258u, 259u })
    {
        char szPath[MAX_PATH + 1];
        memset(szPath, 0x7E, sizeof(szPath));
        std::string chosen = "D:\\" + std::string(length - 3, 'a');
        strcpy(szPath, chosen.c_str());
        EXPECT_FALSE(AppendZemWebFolder(szPath)) << "length " << length;
        EXPECT_EQ(chosen, szPath) << "length " << length;
        EXPECT_EQ(0x7E, szPath[MAX_PATH]) << "length " << length;
    }
}

// The filter list as strings, split at its NULs up to the double NUL.
std::string FilterText(const char (&szFilter)[PACKAGE_FILTER_BUFFER])
{
    std::string text;
    for (const char* p = szFilter; *p; p += strlen(p) + 1)
        text += std::string(p) + "|";
    return text;
}

TEST(PackagePicker, FilterListIsWellFormed)
{
    struct { std::string all; std::string package; BOOL fits; std::string list; } rows[] = {
        { "All files", "Installation package", TRUE, "All files(*.*)|*.*|Installation package(.exe)|*.exe|" },
        { "", "", TRUE, "(*.*)|*.*|(.exe)|*.exe|" },
        { std::string(38, 'a'), std::string(38, 'b'), TRUE,
          std::string(38, 'a') + "(*.*)|*.*|" + std::string(38, 'b') + "(.exe)|*.exe|" },
        { std::string(38, 'a'), std::string(39, 'b'), FALSE, "(*.*)|*.*|(.exe)|*.exe|" },
        { std::string(200, 'a'), "x", FALSE, "(*.*)|*.*|(.exe)|*.exe|" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        char szFilter[PACKAGE_FILTER_BUFFER];
        memset(szFilter, 0x7E, sizeof(szFilter));
        EXPECT_EQ(rows[i].fits, BuildPackageFilter(szFilter, rows[i].all.c_str(), rows[i].package.c_str())) << "row " << i;
        EXPECT_EQ(rows[i].list, FilterText(szFilter)) << "row " << i;
    }
}

} // namespace
