// The rules behind the two Browse buttons, apart from the dialogs they open.
#include "FolderPicker.h"
#include "PackagePicker.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

TEST(FolderPicker, ChosenFolderBecomesTheTargetFolderOrIsRefusedUnchanged)
{
    const bool dbcs = IsDoubleByteCodePage();
    const std::string a249 = "D:\\" + std::string(249, 'a');
    const struct
    {
        std::string chosen;
        std::string field;
        std::string fieldDbcs;
    } rows[] = {
        { "C:\\", "C:\\ZemWeb", "" },
        { "D:\\Inetpub\\wwwroot", "D:\\Inetpub\\wwwroot\\ZemWeb", "" },
        { "D:\\ZemWebOld\\pages", "D:\\ZemWebOld\\pages", "" },
        { "D:\\zemweb", "D:\\zemweb\\ZemWeb", "" },
        { "D:\\a\\ZemWeb", "D:\\a\\ZemWeb", "" },
        { "share", "shareZemWeb", "" },
        // Ends in a trail byte 0x5C: a separator is still needed in a double-byte code page.
        { "D:\\" DBCS_5C, "D:\\" DBCS_5C "ZemWeb", "D:\\" DBCS_5C "\\ZemWeb" },
        { a249, a249 + "\\ZemWeb", "" },
        // No room for "\ZemWeb": refused, the path left as it was (empty expectation).
        { "D:\\" + std::string(250, 'a'), "", "" },
        { "D:\\" + std::string(255, 'a'), "", "" },
        { "D:\\" + std::string(256, 'a'), "", "" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        CString strPath = rows[i].chosen.c_str();
        const std::string& field = dbcs && !rows[i].fieldDbcs.empty() ? rows[i].fieldDbcs : rows[i].field;
        EXPECT_EQ(!field.empty(), AppendZemWebFolder(strPath) != FALSE) << "row " << i;
        EXPECT_EQ(field.empty() ? rows[i].chosen : field, strPath.GetString()) << "row " << i;
    }
}

TEST(PackagePicker, FilterListIsWellFormed)
{
    const struct
    {
        std::string all;
        std::string package;
        BOOL fits;
        std::string list;
    } rows[] = {
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
        std::string list;   // split at the NULs up to the double NUL
        for (const char* p = szFilter; *p && p < szFilter + sizeof(szFilter); p += strlen(p) + 1)
            list += std::string(p) + "|";
        EXPECT_EQ(rows[i].list, list) << "row " << i;
    }
}

}   // namespace
