#include "SiteAddress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SiteAddress, SplitsBindingsAndBuildsTheAddress)
{
    const std::string computer(GetComputerNameText());
    ASSERT_FALSE(computer.empty());
    auto expand = [&](std::string s) {   // "@" in an expectation stands for the computer's name
        return s.find('@') == std::string::npos ? s : s.replace(s.find('@'), 1, computer);
    };

    const struct
    {
        const char* binding;
        const char* host;
        const char* port;
        const char* header;
        const char* url;
    } rows[] = {
        { ":80:", "@", "80", "", "http://@/Zem/" },
        { ":8080:", "@", "8080", "", "http://@:8080/Zem/" },
        { "192.0.2.5:80:", "192.0.2.5", "80", "", "http://192.0.2.5/Zem/" },
        { "192.0.2.5:8080:portal", "192.0.2.5", "8080", "portal", "http://portal:8080/Zem/" },
        { ":80:portal", "@", "80", "portal", "http://portal/Zem/" },
        { "::", "@", "", "", "http://@:/Zem/" },
        { ":080:", "@", "080", "", "http://@:080/Zem/" },   // only the exact text "80" is left out
        { ": 80:", "@", " 80", "", "http://@: 80/Zem/" },
        { "10.0.0.1:81:a:b", "10.0.0.1", "81", "a:b", "http://a:b:81/Zem/" },
        // Not the form of a binding-list entry: the whole text becomes the host header.
        { "portal", "", "", "portal", "http://portal:/Zem/" },
        { ":80", "@", "", ":80", "http://:80:/Zem/" },
        { "web:80", "web", "", "web:80", "http://web:80:/Zem/" },
        { "", "", "", "", "http://:/Zem/" },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        CString host("old"), port("old"), header("old");
        SplitServerBinding(rows[i].binding, host, port, header);
        EXPECT_EQ(expand(rows[i].host), host.GetString()) << "row " << i;
        EXPECT_STREQ(rows[i].port, port) << "row " << i;
        EXPECT_STREQ(rows[i].header, header) << "row " << i;
        EXPECT_EQ(expand(rows[i].url), FormatSiteUrl(host, port, header).GetString()) << "row " << i;
    }
}

TEST(SiteAddress, NullBindingChangesNothing)
{
    CString host("WEB01"), port("8080"), header("portal");
    SplitServerBinding(nullptr, host, port, header);
    EXPECT_STREQ("WEB01:8080:portal", host + ":" + port + ":" + header);
    EXPECT_STREQ("http:///Zem/", FormatSiteUrl("", "80", ""));   // no computer name: nothing between the slashes
}

}   // namespace
