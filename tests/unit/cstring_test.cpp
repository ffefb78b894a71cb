#include "stdafx.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

TEST(CString, LoadsAndFormatsWithoutLimitAndMissingStringsEmpty)
{
    CString str;
    EXPECT_TRUE(str.LoadString(IDS_NO_WEB_SERVER));
    EXPECT_GT(str.GetLength(), 100);   // longer than any fixed load buffer of old
    EXPECT_EQ(2, std::count(str.GetString(), str.GetString() + str.GetLength(), '\n'));
    str = "stale";
    EXPECT_FALSE(str.LoadString(103));   // a gap in the catalogue
    EXPECT_TRUE(str.IsEmpty());
    str.Format(static_cast<UINT>(103), 1);
    EXPECT_TRUE(str.IsEmpty());
    str.Format(IDS_SITE_ROOT_PATH, "D:\\Web");
    EXPECT_EQ(Msg(IDS_SITE_ROOT_PATH, "D:\\Web"), str.GetString());

    str.Format("%s", "C:\\100%\\d%s");   // a '%' in a value stays as it is
    EXPECT_STREQ("C:\\100%\\d%s", str);
    str.Format("[%s]", std::string(5000, 'x').c_str());
    EXPECT_EQ(5002, str.GetLength());
    str.Format(static_cast<LPCSTR>(nullptr));
    EXPECT_TRUE(str.IsEmpty());
}

TEST(CString, TrimsAndSpansWholeCharacters)
{
    const struct
    {
        const char* in;
        const char* both;
        const char* left;
        const char* right;
    } rows[] = {
        { "  C:\\Web \t\r\n", "C:\\Web", "C:\\Web \t\r\n", "  C:\\Web" },
        { " \t ", "", "", "" },
        { " " DBCS_5C " ", DBCS_5C, DBCS_5C " ", " " DBCS_5C },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        CString both(rows[i].in), left(rows[i].in), right(rows[i].in);
        EXPECT_STREQ(rows[i].both, both.Trim()) << "row " << i;
        EXPECT_STREQ(rows[i].left, left.TrimLeft()) << "row " << i;
        EXPECT_STREQ(rows[i].right, right.TrimRight()) << "row " << i;
    }
    EXPECT_STREQ("", CString(",a").SpanExcluding(","));
    EXPECT_STREQ("ab", CString("ab;c,d").SpanExcluding(",;"));
    // The trail byte 0x5C ends the span only where it is a character of its own.
    EXPECT_STREQ(IsDoubleByteCodePage() ? DBCS_5C : "\xD5", CString(DBCS_5C "\\x").SpanExcluding("\\"));
}

}   // namespace
