// Key locks between handles, threads and processes: who waits, for how long, and what a dead process
// leaves behind.
#include "MetabaseTest.h"

#include <objbase.h>

#include <thread>

namespace mdtest {

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

    // OpenKey with its time-out, and how long it took.
    HRESULT TimedOpen(IMSAdminBaseW* admin, const wchar_t* path, DWORD access, DWORD timeoutMs, ULONGLONG& elapsedMs,
                      METADATA_HANDLE& handle)
    {
        ULONGLONG start = ::GetTickCount64();
        HRESULT hr = Open(admin, path, access, handle, timeoutMs);
        elapsedMs = ::GetTickCount64() - start;
        return hr;
    }
};

// GetTickCount64 may step by one scheduler tick.
const ULONGLONG kTickSlackMs = 16;

TEST_F(Locking, ConflictsFollowTheLineOfDescent)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    struct Row { const wchar_t* held; DWORD heldAccess; const wchar_t* wanted; DWORD wantedAccess; bool busy; };
    const Row rows[] = {
        { L"/LM/W3SVC/1", R, L"/LM/W3SVC/1", R, false },          // readers share
        { L"/LM/W3SVC/1", R, L"/LM/W3SVC/1", W, true },
        { L"/LM/W3SVC/1", W, L"/LM/W3SVC/1", R, true },
        { L"/LM/W3SVC/1", W, L"/lm/w3svc/1", W, true },           // one key, two spellings
        { L"/LM/W3SVC/1", R | W, L"/LM/W3SVC/1/ROOT", R, true },  // read/write counts as write
        { L"/LM/W3SVC", R, L"/LM/W3SVC/1/ROOT", W, true },        // ancestor held
        { L"/LM/W3SVC", R, L"/LM/W3SVC/1/ROOT", R, false },
        { L"/LM/W3SVC/1/ROOT", W, L"/LM", R, true },              // descendant held
        { L"/LM/W3SVC/1/ROOT", R, L"/", R, false },
        { L"/LM/W3SVC/1", W, L"/LM/W3SVC/2", W, false },          // siblings never conflict
        { L"/LM/W3SVC/1/ROOT", W, L"/LM/W3SVC/2/ROOT", W, false },
        { L"/LM/W3SVC/1", W, L"/LM/W3SVC/10", W, false },         // a name that merely begins alike
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        const Row& row = rows[i];
        METADATA_HANDLE held, wanted;
        ASSERT_EQ(S_OK, Open(admin.Get(), row.held, row.heldAccess, held)) << "row " << i;
        HRESULT hr = Open(admin.Get(), row.wanted, row.wantedAccess, wanted);
        EXPECT_EQ(row.busy ? kPathBusy : S_OK, hr) << "row " << i << ": " << Hr(hr);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(S_OK, admin->CloseKey(wanted));
        }
        EXPECT_EQ(S_OK, admin->CloseKey(held));
        // Once the holder is closed, the key is free.
        ASSERT_EQ(S_OK, Open(admin.Get(), row.wanted, row.wantedAccess, wanted)) << "row " << i;
        EXPECT_EQ(S_OK, admin->CloseKey(wanted));
    }

    // No exemption for the handle the path is relative to, and none for other connections.
    METADATA_HANDLE site, root;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site));
    EXPECT_EQ(kPathBusy, admin->OpenKey(site, L"ROOT", W, 0, &root));
    ComPtr<IMSAdminBaseW> other = Connect();
    EXPECT_EQ(kPathBusy, Open(other.Get(), L"/LM/W3SVC/1/ROOT", W, root));
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Locking, WaitsUpToTheTimeOutForAnotherThread)
{
    // The holder is a worker thread with a connection of its own in a free-threaded apartment, as the
    // program's deployment worker has; this thread is single-threaded, as its dialog thread is.
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            ComPtr<IMSAdminBaseW> own = Connect();
            METADATA_HANDLE handle;
            EXPECT_EQ(S_OK, Open(own.Get(), L"/LM/W3SVC/1", W, handle));
            ::SetEvent(held);
            ::WaitForSingleObject(release, 30000);
            ::Sleep(300);
            EXPECT_EQ(S_OK, own->CloseKey(handle));
        }
        ::CoUninitialize();
    });
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held, 30000));

    // Still held when the time-out ends: busy, after waiting all of it.
    ComPtr<IMSAdminBaseW> admin = Connect();
    ULONGLONG elapsed;
    METADATA_HANDLE wanted;
    EXPECT_EQ(kPathBusy, TimedOpen(admin.Get(), L"/LM/W3SVC/1/ROOT", R, 400, elapsed, wanted));
    EXPECT_GE(elapsed + kTickSlackMs, 400u);
    EXPECT_EQ(kPathBusy, TimedOpen(admin.Get(), L"/LM/W3SVC/1/ROOT", R, 0, elapsed, wanted));
    EXPECT_LT(elapsed, 200u) << "a time-out of 0 looks once";

    // Closed meanwhile: granted as soon as it is free.
    ::SetEvent(release);
    HRESULT hr = TimedOpen(admin.Get(), L"/LM/W3SVC/1/ROOT", W, 10000, elapsed, wanted);
    worker.join();
    ::CloseHandle(held);
    ::CloseHandle(release);
    ASSERT_EQ(S_OK, hr) << Hr(hr);
    EXPECT_GE(elapsed + kTickSlackMs, 300u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(S_OK, admin->CloseKey(wanted));
}

TEST_F(Locking, AnotherProcessHoldingAKeyMakesOpenKeyWaitThenFailUntilItDies)
{
    MdutilProcess holder;
    ASSERT_TRUE(holder.Start(L"hold /LM/W3SVC/1 600000"));
    ASSERT_TRUE(holder.WaitForLine("holding")) << holder.Output();

    ComPtr<IMSAdminBaseW> admin = Connect();
    ULONGLONG elapsed;
    METADATA_HANDLE handle;
    HRESULT hr = TimedOpen(admin.Get(), L"/LM/W3SVC/1/ROOT", R, 1000, elapsed, handle);
    EXPECT_EQ(kPathBusy, hr) << Hr(hr);
    EXPECT_GE(elapsed + kTickSlackMs, 1000u) << "it waited for the other program";
    EXPECT_LT(elapsed, 3500u);
    // Another site is not in the way.
    ASSERT_EQ(S_OK, TimedOpen(admin.Get(), L"/LM/W3SVC/2", W, 0, elapsed, handle));
    EXPECT_EQ(S_OK, admin->CloseKey(handle));

    // A process that dies leaves nothing locked.
    holder.Stop();
    hr = TimedOpen(admin.Get(), L"/LM/W3SVC/1", W, 5000, elapsed, handle);
    ASSERT_EQ(S_OK, hr) << Hr(hr);
    EXPECT_LT(elapsed, 1000u);
    EXPECT_EQ(S_OK, admin->CloseKey(handle));
}

TEST_F(Locking, ReleasingAConnectionClosesItsHandles)
{
    ComPtr<IMSAdminBaseW> forgetful = Connect();
    METADATA_HANDLE handle;
    ASSERT_EQ(S_OK, Open(forgetful.Get(), L"/LM/W3SVC/1", W, handle));
    ASSERT_EQ(S_OK, forgetful->AddKey(handle, L"ROOT/Left"));
    forgetful.Reset();

    ComPtr<IMSAdminBaseW> admin = Connect();
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1/ROOT/Left", W, handle)) << "unlocked, and the change written";
    EXPECT_EQ(S_OK, admin->CloseKey(handle));
}

TEST_F(Locking, TwoProcessesAddingDifferentKeysLoseNeither)
{
    // This process changes site 1 under its lock while another process adds to site 2 and writes first;
    // the later write keeps the earlier one's key.
    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", W, site));
    ASSERT_EQ(S_OK, admin->AddKey(site, L"ROOT/FromThisProcess"));
    ProcessResult other = RunMdutil(L"add-key /LM/W3SVC/2/ROOT/FromOtherProcess");
    ASSERT_EQ(0u, other.exitCode) << other.output;
    ASSERT_EQ(S_OK, admin->CloseKey(site));

    // Several processes at once, each adding a site below the same service key.
    const int kSites = 5;
    std::vector<std::unique_ptr<MdutilProcess>> adders;
    for (int n = 0; n < kSites; ++n) {
        adders.push_back(std::make_unique<MdutilProcess>());
        ASSERT_TRUE(adders.back()->Start(L"-t 30000 add-site " + std::to_wstring(20 + n) + L" Site C:\\ :8" +
                                         std::to_wstring(n) + L":"));
    }
    for (int n = 0; n < kSites; ++n)
        EXPECT_EQ(0u, adders[n]->Wait()) << "adder " << n << ": " << adders[n]->Output();

    ProcessResult tree = RunMdutil(L"tree /LM/W3SVC");
    ASSERT_EQ(0u, tree.exitCode) << tree.output;
    std::vector<std::string> expected = { "/LM/W3SVC/1/ROOT/FromThisProcess", "/LM/W3SVC/2/ROOT/FromOtherProcess" };
    for (int n = 0; n < kSites; ++n)
        expected.push_back("/LM/W3SVC/" + std::to_string(20 + n) + "/ROOT");
    for (const std::string& key : expected)
        EXPECT_NE(std::string::npos, tree.output.find(key + "\n")) << key << " missing from:\n" << tree.output;
}

} // namespace

} // namespace mdtest
