// mdutil: exit status, and the site it adds as the program reads it.
#include "MetabaseTest.h"

namespace mdtest {

namespace {

class Mdutil : public MetabaseTest
{
};

TEST_F(Mdutil, ExitStatusAndMessages)
{
    struct Row { const wchar_t* arguments; DWORD exitCode; const char* text; };
    const Row rows[] = {
        { L"", 2, "Usage: mdutil" },
        { L"--help", 0, "add-site <number>" },
        { L"frobnicate /LM", 2, "Usage: mdutil" },
        { L"show", 2, "Usage: mdutil" },
        { L"-t soon show /LM", 2, "Usage: mdutil" },
        { L"add-site 0 Site C:\\ :80:", 2, "Usage: mdutil" },
        { L"delete /", 2, "below the root" },
        { L"show /LM/W3SVC/9", 1, "0x80070003" },
        { L"tree /LM/W3SVC", 1, "0x80070003" },
        { L"show /LM", 0, "IIsComputer" },
        { L"tree", 0, "/LM\n" },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        ProcessResult result = RunMdutil(rows[i].arguments);
        EXPECT_EQ(rows[i].exitCode, result.exitCode) << "row " << i << ":\n" << result.output;
        EXPECT_NE(std::string::npos, result.output.find(rows[i].text)) << "row " << i << ":\n" << result.output;
    }
}

TEST_F(Mdutil, AddSiteShowTreeDelete)
{
    ProcessResult added = RunMdutil(L"add-site 3 \"Site Three\" \"C:\\web root\" :80: 10.0.0.1:8080:www.example.com");
    ASSERT_EQ(0u, added.exitCode) << added.output;

    // What the program reads of a site, and the key types IIS gives it.
    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/3", R, site));
    struct Row { const wchar_t* path; DWORD id; DWORD attributes; std::vector<BYTE> data; };
    const Row rows[] = {
        { L"ROOT", MD_SERVER_COMMENT, METADATA_INHERIT, Str(L"Site Three") },
        { L"ROOT", MD_VR_PATH, METADATA_INHERIT, Str(L"C:\\web root") },
        { L"", MD_SERVER_BINDINGS, 0, Multi({ L":80:", L"10.0.0.1:8080:www.example.com" }) },
        { L"", MD_KEY_TYPE, 0, Str(L"IIsWebServer") },
        { L"ROOT", MD_KEY_TYPE, 0, Str(L"IIsWebVirtualDir") },
        { L"ROOT", MD_ACCESS_PERM, 0, Dword(MD_ACCESS_READ | MD_ACCESS_SCRIPT) },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        Value v = Get(admin.Get(), site, rows[i].path, rows[i].id, rows[i].attributes);
        ASSERT_EQ(S_OK, v.hr) << "row " << i << ": " << Hr(v.hr);
        EXPECT_EQ(rows[i].data, v.data) << "row " << i;
    }
    EXPECT_EQ(S_OK, admin->CloseKey(site));
    Value service = Get(admin.Get(), 0, L"/LM/W3SVC", MD_KEY_TYPE);
    EXPECT_EQ(Str(L"IIsWebService"), service.data) << "the first site brings the service key";

    ProcessResult again = RunMdutil(L"add-site 3 Other C:\\ :81:");
    EXPECT_EQ(1u, again.exitCode);
    EXPECT_NE(std::string::npos, again.output.find("0x800700B7")) << again.output;

    ProcessResult deleted = RunMdutil(L"delete /LM/W3SVC/3");
    EXPECT_EQ(0u, deleted.exitCode) << deleted.output;
    ComPtr<IMSAdminBaseW> after = Connect();
    EXPECT_EQ(kPathNotFound, Open(after.Get(), L"/LM/W3SVC/3", R, site));
}

} // namespace

} // namespace mdtest
