// The program's own metabase routines against the stand-in: what they read, and what a key held by
// another program does to them.
#include "MetabaseTest.h"

#include "SiteInfo.h"
#include "VirtualDir.h"

#include <algorithm>

namespace mdtest {
namespace {

class Routines : public MetabaseTest
{
protected:
    // Site n with a description of its own (or none), a root folder and its bindings.
    void AddSite(IMSAdminBaseW* admin, int n, const wchar_t* description, const wchar_t* root,
                 const std::vector<std::wstring>& bindings)
    {
        const std::wstring site = L"W3SVC/" + std::to_wstring(n);
        METADATA_HANDLE lm;
        ASSERT_EQ(S_OK, Open(admin, L"/LM", W, lm));
        ASSERT_EQ(S_OK, admin->AddKey(lm, (site + L"/ROOT").c_str()));
        if (description)
        {
            ASSERT_EQ(S_OK, Set(admin, lm, site.c_str(), MD_SERVER_COMMENT, STRING_METADATA, Str(description)));
        }
        ASSERT_EQ(S_OK, Set(admin, lm, site.c_str(), MD_SERVER_BINDINGS, MULTISZ_METADATA, Multi(bindings),
                            METADATA_NO_ATTRIBUTES));
        ASSERT_EQ(S_OK, Set(admin, lm, (site + L"/ROOT").c_str(), MD_VR_PATH, STRING_METADATA, Str(root),
                            METADATA_INHERIT, IIS_MD_UT_FILE));
        ASSERT_EQ(S_OK, admin->CloseKey(lm));
    }
};

struct SiteBuffers
{
    WCHAR description[SITE_VALUE_CCH];
    WCHAR root[SITE_VALUE_CCH];
    WCHAR binding[SITE_VALUE_CCH];
    SiteBuffers()
    {
        for (WCHAR* b : { description, root, binding })
            std::fill(b, b + SITE_VALUE_CCH, static_cast<WCHAR>(0xCDCD));
    }
    static bool Untouched(const WCHAR* b)
    {
        return std::all_of(b, b + SITE_VALUE_CCH, [](WCHAR c) { return c == 0xCDCD; });
    }
};

TEST_F(Routines, SitesAreReadUpToTheFirstMissingOne)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    AddSite(admin.Get(), 1, L"Default Web Site", L"D:\\", { L":80:", L":8080:" });
    AddSite(admin.Get(), 2, nullptr, L"E:\\Intra", { L"192.0.2.5:8080:portal" });
    admin.Reset();

    SiteBuffers one;
    EXPECT_EQ(S_OK, QuerySiteInfo(1, one.description, one.root, one.binding));
    EXPECT_STREQ(L"Default Web Site", one.description);   // stored on the site key, read at ROOT
    EXPECT_STREQ(L"D:\\", one.root);
    EXPECT_STREQ(L":80:", one.binding);                   // the first of the two bindings

    // No description of its own nor on the service key: the buffer stays, the binding read decides.
    SiteBuffers two;
    EXPECT_EQ(S_OK, QuerySiteInfo(2, two.description, two.root, two.binding));
    EXPECT_TRUE(SiteBuffers::Untouched(two.description));
    EXPECT_STREQ(L"192.0.2.5:8080:portal", two.binding);

    SiteBuffers three;
    EXPECT_EQ(kPathNotFound, QuerySiteInfo(3, three.description, three.root, three.binding));
    EXPECT_TRUE(SiteBuffers::Untouched(three.description) && SiteBuffers::Untouched(three.root) &&
                SiteBuffers::Untouched(three.binding));
}

TEST_F(Routines, KeyHeldByAnotherProgramMakesTheRoutinesWaitThenFail)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    admin.Reset();

    MdutilProcess holder;
    ASSERT_TRUE(holder.Start(L"hold /LM/W3SVC/1 20000"));
    ASSERT_TRUE(holder.WaitForLine("holding"));
    EXPECT_EQ(kPathBusy, CreateWebVirtualDir(1, L"Zem", L"C:\\x\\", nullptr));
    SiteBuffers b;
    EXPECT_EQ(kPathBusy, QuerySiteInfo(1, b.description, b.root, b.binding));
    EXPECT_TRUE(SiteBuffers::Untouched(b.root));
    holder.Stop();

    // Once the other program is gone the key is free again; the second creation finds it made.
    EXPECT_EQ(S_OK, CreateWebVirtualDir(1, L"Zem", L"C:\\x\\", nullptr));
    EXPECT_EQ(kAlreadyExists, CreateWebVirtualDir(1, L"Zem", L"D:\\Other\\", nullptr));
}

} // namespace
} // namespace mdtest
