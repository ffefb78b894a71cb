// Each method's results and error codes, through the interface as a client calls it.
#include "MetabaseTest.h"

#include <functional>

namespace mdtest {

namespace {

class Methods : public MetabaseTest
{
};

TEST_F(Methods, OpenKeyResolvesPathsAndRefusesBadRequests)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site));

    const METADATA_HANDLE kBogus = 0x7FFF1234;
    struct Row { METADATA_HANDLE base; const wchar_t* path; DWORD access; HRESULT expected; };
    const Row rows[] = {
        { 0, L"/LM/W3SVC/1/ROOT", R, S_OK },
        { 0, L"LM/W3SVC/1/ROOT/", R, S_OK },          // no leading slash, a trailing one
        { 0, L"\\LM\\W3SVC//1\\ROOT", R, S_OK },      // backslashes and an empty name
        { 0, L"/lm/w3svc/1/root", R, S_OK },          // names compare without case
        { 0, L"/LM/W3SVC/9", R, kPathNotFound },
        { 0, L"/LM/W3SVC/1/ROOT/Missing", R, kPathNotFound },
        { 0, L"", R, S_OK },                          // the root itself, for reading
        { 0, nullptr, R, S_OK },
        { 0, L"/", W, E_ACCESSDENIED },               // but never for writing
        { 0, L"/LM/W3SVC/1/ROOT", 0, E_INVALIDARG },
        { 0, L"/LM/W3SVC/1/ROOT", 4, E_INVALIDARG },
        { 0, L"/LM/W3SVC/1/ROOT", R | 0x10, E_INVALIDARG },
        { site, L"ROOT", R, S_OK },                   // relative to the handle's key
        { site, L"/ROOT", R, S_OK },
        { site, L"/LM/W3SVC/1/ROOT", R, kPathNotFound },
        { kBogus, L"", R, kInvalidHandle },
        { kBogus, L"/LM", R, kInvalidHandle },        // the handle is checked before the path
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        const Row& row = rows[i];
        METADATA_HANDLE handle;
        HRESULT hr = Open(admin.Get(), row.path, row.access, handle, 0, row.base);
        EXPECT_EQ(row.expected, hr) << "row " << i << ": " << Hr(hr);
        if (SUCCEEDED(hr)) {
            EXPECT_NE(0u, handle) << "row " << i;
            EXPECT_EQ(S_OK, admin->CloseKey(handle)) << "row " << i;
        } else {
            EXPECT_EQ(0u, handle) << "row " << i << ": the handle is cleared on failure";
        }
    }
    EXPECT_EQ(E_INVALIDARG, admin->OpenKey(0, L"/LM", R, 0, nullptr));
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Methods, CloseKeyAcceptsOnlyOpenHandlesAndNeverReusesThem)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    ComPtr<IMSAdminBaseW> other = Connect();
    METADATA_HANDLE first, second;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", R, first));
    ASSERT_EQ(S_OK, admin->CloseKey(first));
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", R, second));
    EXPECT_NE(first, second);
    EXPECT_EQ(kInvalidHandle, admin->CloseKey(first));
    EXPECT_EQ(kInvalidHandle, other->CloseKey(second)) << "a handle belongs to its connection";
    EXPECT_EQ(S_OK, admin->CloseKey(second));
    EXPECT_EQ(kInvalidHandle, admin->CloseKey(second));
    // The master root handle stays usable whatever is done to it.
    EXPECT_EQ(S_OK, admin->CloseKey(METADATA_MASTER_ROOT_HANDLE));
    EXPECT_EQ(std::vector<std::wstring>{ L"LM" }, ChildNames(admin.Get(), L"/"));
}

TEST_F(Methods, EachMethodChecksHandleAndPermission)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE closed;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, closed));
    ASSERT_EQ(S_OK, admin->CloseKey(closed));

    // Each method with the master root, a read, a read/write, a write-only and a closed handle.
    enum Kind { Root, Read, ReadWrite, WriteOnly, Closed };
    using Call = std::function<HRESULT(METADATA_HANDLE)>;
    wchar_t name[METADATA_MAX_NAME_LEN];
    BYTE buffer[64];
    auto record = [&buffer](DWORD id) {
        METADATA_RECORD r = {};
        r.dwMDIdentifier = id;
        r.dwMDDataType = id == MD_SERVER_COMMENT ? STRING_METADATA : ALL_METADATA;
        r.dwMDDataLen = sizeof buffer;
        r.pbMDData = buffer;
        return r;
    };
    const std::vector<BYTE> comment = Str(L"x");
    // Reads address the site key: from the root by its full path, from a handle on it by nothing.
    auto site = [](METADATA_HANDLE h) { return h ? L"" : L"/LM/W3SVC/1"; };
    struct Row { const char* method; Call call; HRESULT expected[5]; };
    const Row rows[] = {
        { "GetData", [&](METADATA_HANDLE h) { METADATA_RECORD r = record(MD_SERVER_COMMENT); DWORD n; return admin->GetData(h, site(h), &r, &n); },
          { S_OK, S_OK, S_OK, E_ACCESSDENIED, kInvalidHandle } },
        { "EnumKeys", [&](METADATA_HANDLE h) { return admin->EnumKeys(h, site(h), name, 0); },
          { S_OK, S_OK, S_OK, E_ACCESSDENIED, kInvalidHandle } },
        { "EnumData", [&](METADATA_HANDLE h) { METADATA_RECORD r = record(0); DWORD n; return admin->EnumData(h, site(h), &r, 0, &n); },
          { S_OK, S_OK, S_OK, E_ACCESSDENIED, kInvalidHandle } },
        { "SetData", [&](METADATA_HANDLE h) { return Set(admin.Get(), h, L"ROOT", MD_SERVER_COMMENT, STRING_METADATA, comment); },
          { E_ACCESSDENIED, E_ACCESSDENIED, S_OK, S_OK, kInvalidHandle } },
        { "DeleteData", [&](METADATA_HANDLE h) { HRESULT hr = admin->DeleteData(h, L"ROOT", MD_SERVER_COMMENT, ALL_METADATA); return hr == kDataNotFound ? S_OK : hr; },
          { E_ACCESSDENIED, E_ACCESSDENIED, S_OK, S_OK, kInvalidHandle } },
        { "AddKey", [&](METADATA_HANDLE h) { HRESULT hr = admin->AddKey(h, L"ROOT/New"); return hr == kAlreadyExists ? S_OK : hr; },
          { E_ACCESSDENIED, E_ACCESSDENIED, S_OK, S_OK, kInvalidHandle } },
        { "DeleteKey", [&](METADATA_HANDLE h) { HRESULT hr = admin->DeleteKey(h, L"ROOT/New"); return hr == kPathNotFound ? S_OK : hr; },
          { E_ACCESSDENIED, E_ACCESSDENIED, S_OK, S_OK, kInvalidHandle } },
    };
    const DWORD access[] = { 0, R, R | W, W, 0 };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        for (int kind = Root; kind <= Closed; ++kind) {
            METADATA_HANDLE h = 0;
            if (kind == Closed) {
                h = closed;
            } else if (kind != Root) {
                ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", access[kind], h)) << rows[i].method << " kind " << kind;
            }
            HRESULT hr = rows[i].call(h);
            EXPECT_EQ(rows[i].expected[kind], hr) << rows[i].method << " with handle kind " << kind << ": " << Hr(hr);
            if (kind != Root && kind != Closed) {
                EXPECT_EQ(S_OK, admin->CloseKey(h));
            }
        }
    }
}

TEST_F(Methods, AddKeyCreatesTheWholePathOnceAndDeleteKeyTheSubtree)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R | W, site));
    const std::wstring longest(255, L'n');
    const std::wstring tooLong(256, L'n');
    const std::wstring tooLongInside = L"ROOT/" + tooLong + L"/x";
    struct Row { bool add; const wchar_t* path; HRESULT expected; };
    const Row rows[] = {
        { true, nullptr, E_INVALIDARG },
        { true, L"", kAlreadyExists },              // the handle's own key
        { true, L"/", kAlreadyExists },
        { true, L"root", kAlreadyExists },          // same key, other spelling
        { true, L"ROOT/A/B", S_OK },                // A is created on the way
        { true, L"ROOT/A/B", kAlreadyExists },
        { true, L"ROOT/A", kAlreadyExists },
        { true, L"ROOT/A/C", S_OK },
        { true, longest.c_str(), S_OK },
        { true, tooLong.c_str(), kInvalidName },
        { true, tooLongInside.c_str(), kInvalidName },
        { false, nullptr, E_INVALIDARG },
        { false, L"/", E_INVALIDARG },               // the handle's own key
        { false, L"ROOT/Missing", kPathNotFound },
        { false, L"Missing/A", kPathNotFound },
        { false, L"root/a/c", S_OK },
        { false, L"ROOT/A/C", kPathNotFound },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        HRESULT hr = rows[i].add ? admin->AddKey(site, rows[i].path) : admin->DeleteKey(site, rows[i].path);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
    }
    EXPECT_EQ((std::vector<std::wstring>{ L"B" }), ChildNames(admin.Get(), L"/LM/W3SVC/1/ROOT/A"));
    EXPECT_EQ((std::vector<std::wstring>{ L"ROOT", longest }), ChildNames(admin.Get(), L"/LM/W3SVC/1"));
    // A new key holds no data, not even a key type.
    EXPECT_EQ(kDataNotFound, Get(admin.Get(), site, L"ROOT/A", MD_KEY_TYPE).hr);
    EXPECT_EQ(S_OK, admin->DeleteKey(site, L"ROOT/A"));
    EXPECT_EQ(S_OK, admin->CloseKey(site));
    METADATA_HANDLE gone;
    EXPECT_EQ(kPathNotFound, Open(admin.Get(), L"/LM/W3SVC/1/ROOT/A/B", R, gone)) << "the subtree went too";
}

TEST_F(Methods, EnumKeysListsOneLevelInCreationOrder)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE root;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1/ROOT", R | W, root));
    for (const wchar_t* name : { L"Zeta", L"alpha", L"Mid/Deep" })
        ASSERT_EQ(S_OK, admin->AddKey(root, name));

    const wchar_t* expected[] = { L"Zeta", L"alpha", L"Mid" };
    for (DWORD i = 0; i <= ARRAYSIZE(expected); ++i) {
        wchar_t name[METADATA_MAX_NAME_LEN];
        wmemset(name, 0xCDCD, METADATA_MAX_NAME_LEN);
        HRESULT hr = admin->EnumKeys(root, L"", name, i);
        if (i == ARRAYSIZE(expected)) {
            EXPECT_EQ(kNoMoreItems, hr) << "index " << i;
            EXPECT_EQ(0xCDCD, name[0]) << "index " << i << ": nothing is written past the end";
            continue;
        }
        ASSERT_EQ(S_OK, hr) << "index " << i << ": " << Hr(hr);
        size_t length = wcslen(expected[i]);
        EXPECT_EQ(std::wstring(expected[i]), std::wstring(name)) << "index " << i;
        EXPECT_EQ(0xCDCD, name[length + 1]) << "index " << i << ": only the name and its terminator are written";
    }
    wchar_t name[METADATA_MAX_NAME_LEN];
    EXPECT_EQ(E_INVALIDARG, admin->EnumKeys(root, L"", nullptr, 0));
    EXPECT_EQ(kPathNotFound, admin->EnumKeys(root, L"Missing", name, 0));
    EXPECT_EQ(kNoMoreItems, admin->EnumKeys(root, L"Zeta", name, 0));
    EXPECT_EQ(S_OK, admin->CloseKey(root));
}

} // namespace

} // namespace mdtest
