#include "MbcsPath.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(MbcsPath, FindsCharactersOnlyAtCharacterStarts)
{
    // Offsets of the result, -1 for null: first and last in a single-byte code page, then in a double-byte one.
    const struct
    {
        const char* text;
        int ch;
        long first, last, firstDbcs, lastDbcs;
    } rows[] = {
        { "abc", 'c', 2, 2, 2, 2 },
        { "abc", 0, 3, -1, 3, -1 },   // the terminator is found only from the front
        { "abc", 'x', -1, -1, -1, -1 },
        { "abc", 0x100 + 'c', 2, 2, 2, 2 },   // only the low byte counts
        { "", 0, 0, -1, 0, -1 },
        { "a\\b\\c", '\\', 1, 3, 1, 3 },
        { "C:\\" DBCS_5C, '\\', 2, 4, 2, 2 },   // the trail byte is no backslash in 936/950
        { DBCS_5C "\\x", '\\', 1, 2, 2, 2 },
        { DBCS_5C "x", 0xD5, 0, 0, 0, 0 },   // a lead byte is a character start
        { "x" DBCS_5C DBCS_5C, 0x5C, 2, 4, -1, -1 },
    };
    auto offset = [](const char* text, const char* result) { return result ? static_cast<long>(result - text) : -1L; };
    const bool dbcs = IsDoubleByteCodePage();
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        EXPECT_EQ(dbcs ? rows[i].firstDbcs : rows[i].first, offset(rows[i].text, FindCharMbcs(rows[i].text, rows[i].ch))) << "row " << i;
        EXPECT_EQ(dbcs ? rows[i].lastDbcs : rows[i].last, offset(rows[i].text, FindLastCharMbcs(rows[i].text, rows[i].ch))) << "row " << i;
    }
    EXPECT_EQ(nullptr, FindCharMbcs(nullptr, 'a'));
    EXPECT_EQ(nullptr, FindLastCharMbcs(nullptr, 'a'));
    // Existing files, folders, the root-relative form and bare names are covered through the Install checks.
    EXPECT_FALSE(FileExistsAtPath(nullptr));
    EXPECT_FALSE(FileExistsAtPath(""));
}

}   // namespace
