// Key locks between handles, connections and processes: who waits, for how long, and what a dead process
// leaves behind; the program's own metabase routines meet a key held elsewhere.
#include "MetabaseTest.h"

#include "SiteInfo.h"
#include "VirtualDir.h"

namespace zem::ui {

namespace {

class Locking : public MetabaseTest
{
protected:
    void SetUp() override
    {
        MetabaseTest::SetUp();
        ComPtr<IMSAdminBaseW> admin = Connect();
        SeedSites(admin.Get());
        METADATA_HANDLE service;
        ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC", W, service));
        ASSERT_EQ(S_OK, admin->AddKey(service, L"2/ROOT"));
        ASSERT_EQ(S_OK, admin->AddKey(service, L"10"));
        ASSERT_EQ(S_OK, admin->CloseKey(service));
    }
    // OpenKey with its time-out; elapsedMs says how long it took.
    HRESULT TimedOpen(IMSAdminBaseW* admin, const wchar_t* path, DWORD access, DWORD timeoutMs, METADATA_HANDLE& handle)
    {
        ULONGLONG start = ::GetTickCount64();
        HRESULT hr = Open(admin, path, access, handle, timeoutMs);
        elapsedMs = ::GetTickCount64() - start + 16;   // GetTickCount64 may step by one scheduler tick
        return hr;
    }
    ULONGLONG elapsedMs = 0;
};

TEST_F(Locking, ConflictsFollowTheLineOfDescent)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    ComPtr<IMSAdminBaseW> other = Connect();
    const struct
    {
        const wchar_t* held;
        DWORD heldAccess;
        const wchar_t* wanted;
        DWORD wantedAccess;
        bool busy;
    } rows[] = {
        { L"/LM/W3SVC/1", R, L"/LM/W3SVC/1", R, false },   // readers share
        { L"/LM/W3SVC/1", R, L"/LM/W3SVC/1", W, true },
        { L"/LM/W3SVC/1", W, L"/lm/w3svc/1", R, true },            // one key, two spellings
        { L"/LM/W3SVC/1", R | W, L"/LM/W3SVC/1/ROOT", R, true },   // read/write counts as write
        { L"/LM/W3SVC", R, L"/LM/W3SVC/1/ROOT", W, true },         // ancestor held
        { L"/LM/W3SVC", R, L"/LM/W3SVC/1/ROOT", R, false },
        { L"/LM/W3SVC/1/ROOT", W, L"/", R, true },                   // descendant held
        { L"/LM/W3SVC/1/ROOT", W, L"/LM/W3SVC/2/ROOT", W, false },   // siblings never conflict
        { L"/LM/W3SVC/1", W, L"/LM/W3SVC/10", W, false },            // a name that merely begins alike
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        METADATA_HANDLE held, wanted;
        ASSERT_EQ(S_OK, Open(admin.Get(), rows[i].held, rows[i].heldAccess, held)) << "row " << i;
        for (IMSAdminBaseW* connection : { admin.Get(), other.Get() }) {
            HRESULT hr = Open(connection, rows[i].wanted, rows[i].wantedAccess, wanted);
            EXPECT_EQ(rows[i].busy ? HR_PATH_BUSY : S_OK, hr) << "row " << i << ": " << Hr(hr);
            EXPECT_TRUE(FAILED(hr) || connection->CloseKey(wanted) == S_OK) << "row " << i;
        }
        EXPECT_EQ(S_OK, admin->CloseKey(held));
        ASSERT_EQ(S_OK, Open(admin.Get(), rows[i].wanted, rows[i].wantedAccess, wanted)) << "row " << i << ": freed";
        EXPECT_EQ(S_OK, admin->CloseKey(wanted));
    }
    // No exemption for the handle the path is relative to.
    METADATA_HANDLE site, root;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site));
    EXPECT_EQ(HR_PATH_BUSY, admin->OpenKey(site, L"ROOT", W, 0, &root));
    EXPECT_EQ(S_OK, admin->CloseKey(site));

    // Releasing a connection closes its handles, and what they changed is written.
    ASSERT_EQ(S_OK, Open(other.Get(), L"/LM/W3SVC/1", W, site));
    ASSERT_EQ(S_OK, other->AddKey(site, L"ROOT/Left"));
    other.Reset();
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1/ROOT/Left", W, root));
    EXPECT_EQ(S_OK, admin->CloseKey(root));
}

TEST_F(Locking, AnotherProcessHoldingAKeyMakesOpenKeyWaitThenFailUntilItLetsGoOrDies)
{
    DriverProcess holder = StartMdutil(L"hold /LM/W3SVC/1 3000");
    ASSERT_TRUE(holder.WaitForLine("holding")) << holder.Output();
    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE handle;
    EXPECT_EQ(HR_PATH_BUSY, TimedOpen(admin.Get(), L"/LM/W3SVC/1/ROOT", R, 1000, handle));
    EXPECT_GE(elapsedMs, 1000u) << "it waited for the other program";
    EXPECT_EQ(HR_PATH_BUSY, TimedOpen(admin.Get(), L"/LM/W3SVC/1/ROOT", R, 0, handle));
    EXPECT_LT(elapsedMs, 500u) << "a time-out of 0 looks once";
    ASSERT_EQ(S_OK, TimedOpen(admin.Get(), L"/LM/W3SVC/2", W, 0, handle)) << "another site is not in the way";
    EXPECT_EQ(S_OK, admin->CloseKey(handle));
    // Let go while this one waits: granted as soon as it is free.
    ASSERT_EQ(S_OK, TimedOpen(admin.Get(), L"/LM/W3SVC/1", W, 20000, handle));
    EXPECT_GE(elapsedMs, 200u);
    EXPECT_LT(elapsedMs, 8000u);
    EXPECT_EQ(S_OK, admin->CloseKey(handle));
    EXPECT_EQ(std::optional<DWORD>(0), holder.WaitExit());

    // The program's routines wait, then give up with the same answer and write nothing.
    DriverProcess dying = StartMdutil(L"hold /LM/W3SVC/1 600000");
    ASSERT_TRUE(dying.WaitForLine("holding")) << dying.Output();
    EXPECT_EQ(HR_PATH_BUSY, CreateWebVirtualDir(1, "Zem", "C:\\x\\", nullptr));
    WCHAR text[3][SITE_VALUE_CCH];
    std::fill(&text[0][0], &text[0][0] + 3 * SITE_VALUE_CCH, static_cast<WCHAR>(0xCDCD));
    EXPECT_EQ(HR_PATH_BUSY, QuerySiteInfo(1, text[0], text[1], text[2]));
    EXPECT_EQ(0xCDCD, text[1][0]);
    // A process that dies leaves nothing locked.
    dying.Kill();
    EXPECT_EQ(S_OK, CreateWebVirtualDir(1, "Zem", "C:\\x\\", nullptr));
}

TEST_F(Locking, ProcessesAddingDifferentKeysLoseNone)
{
    // This process changes site 1 under its lock while another process adds to site 2 and writes first;
    // the later write keeps the earlier one's key. Then several processes add sites at once.
    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", W, site));
    ASSERT_EQ(S_OK, admin->AddKey(site, L"ROOT/FromThisProcess"));
    RunResult other = RunMdutil(L"add-key /LM/W3SVC/2/ROOT/FromOtherProcess");
    ASSERT_EQ(0u, other.exitCode) << other.output;
    ASSERT_EQ(S_OK, admin->CloseKey(site));
    std::vector<DriverProcess> adders;
    for (int n = 0; n < 5; ++n)
        adders.push_back(StartMdutil(L"-t 30000 add-site " + std::to_wstring(20 + n) + L" Site C:\\ :8" + std::to_wstring(n) + L":"));
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(std::optional<DWORD>(0), adders[n].WaitExit(Millis{ 60000 })) << "adder " << n << ": " << adders[n].Output();

    RunResult tree = RunMdutil(L"tree /LM/W3SVC");
    std::vector<std::string> expected = { "/LM/W3SVC/1/ROOT/FromThisProcess", "/LM/W3SVC/2/ROOT/FromOtherProcess" };
    for (int n = 0; n < 5; ++n)
        expected.push_back("/LM/W3SVC/" + std::to_string(20 + n) + "/ROOT");
    for (const std::string& key : expected)
        EXPECT_NE(std::string::npos, tree.output.find(key + "\n")) << key << " missing from:\n"
                                                                   << tree.output;
}

}   // namespace

}   // namespace zem::ui
