// Each method's results and error codes through the interface as a client calls it, and the COM server's
// rules.
#include <initguid.h>   // defines the admin base object's class and interface ids in this unit
#include "MetabaseTest.h"

#include <functional>

namespace zem::ui {

namespace {

// A single-threaded apartment for the whole run, as the program's dialog thread has.
[[maybe_unused]] const HRESULT g_apartment = ::CoInitialize(nullptr);

using Methods = MetabaseTest;
using Data = MetabaseTest;
using Server = MetabaseTest;

TEST_F(Methods, OpenKeyResolvesPathsAndHandlesBelongToTheirConnection)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE site, closed;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site));
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", R, closed));
    ASSERT_EQ(S_OK, admin->CloseKey(closed));
    struct Row
    {
        METADATA_HANDLE base;
        const wchar_t* path;
        DWORD access;
        HRESULT expected;
    };
    const Row rows[] = {
        { 0, L"LM/W3SVC/1/ROOT/", R, S_OK },       // no leading slash, a trailing one
        { 0, L"\\lm\\w3svc//1\\root", R, S_OK },   // backslashes, an empty name, no case
        { 0, L"/LM/W3SVC/1/ROOT/Missing", R, HR_PATH_NOT_FOUND },
        { 0, nullptr, R, S_OK },          // the root itself, for reading
        { 0, L"/", W, E_ACCESSDENIED },   // but never for writing
        { 0, L"/LM", 0, E_INVALIDARG },
        { 0, L"/LM", R | 0x10, E_INVALIDARG },
        { site, L"/ROOT", R, S_OK },   // relative to the handle's key
        { site, L"/LM/W3SVC/1/ROOT", R, HR_PATH_NOT_FOUND },
        { closed, L"", R, HR_INVALID_HANDLE },   // the handle is checked before the path
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        METADATA_HANDLE handle;
        HRESULT hr = Open(admin.Get(), rows[i].path, rows[i].access, handle, 0, rows[i].base);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
        EXPECT_EQ(SUCCEEDED(hr), handle != 0) << "row " << i << ": a handle on success, cleared on failure";
        EXPECT_NE(closed, handle) << "row " << i << ": a closed handle is never handed out again";
        EXPECT_TRUE(FAILED(hr) || admin->CloseKey(handle) == S_OK) << "row " << i;
    }
    EXPECT_EQ(E_INVALIDARG, admin->OpenKey(0, L"/LM", R, 0, nullptr));
    EXPECT_EQ(HR_INVALID_HANDLE, admin->CloseKey(closed));
    EXPECT_EQ(HR_INVALID_HANDLE, Connect()->CloseKey(site)) << "a handle belongs to its connection";
    EXPECT_EQ(S_OK, admin->CloseKey(site));
    EXPECT_EQ(S_OK, admin->CloseKey(METADATA_MASTER_ROOT_HANDLE)) << "the master root handle stays usable";
    EXPECT_EQ(std::vector<std::wstring>{ L"LM" }, ChildNames(admin.Get(), L"/"));
}

TEST_F(Methods, EachMethodChecksHandleAndPermission)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE closed;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, closed));
    ASSERT_EQ(S_OK, admin->CloseKey(closed));
    wchar_t name[METADATA_MAX_NAME_LEN];
    BYTE buffer[64];
    DWORD n;
    METADATA_RECORD r;
    auto record = [&](DWORD id) { return r = { id, 0, 0, ALL_METADATA, sizeof buffer, buffer, 0 }, &r; };
    // Reads address the site key: from the root by its full path, from a handle on it by nothing.
    auto site = [](METADATA_HANDLE h) { return h ? L"" : L"/LM/W3SVC/1"; };
    auto absent = [](HRESULT hr, HRESULT missing) { return hr == missing ? S_OK : hr; };
    const HRESULT D = E_ACCESSDENIED, I = HR_INVALID_HANDLE;
    // Expected with the master root, a read, a read/write, a write-only and a closed handle.
    const struct
    {
        const char* method;
        std::function<HRESULT(METADATA_HANDLE)> call;
        HRESULT expected[5];
    } rows[] = {
        { "GetData", [&](METADATA_HANDLE h) { return admin->GetData(h, site(h), record(MD_SERVER_COMMENT), &n); }, { S_OK, S_OK, S_OK, D, I } },
        { "EnumKeys", [&](METADATA_HANDLE h) { return admin->EnumKeys(h, site(h), name, 0); }, { S_OK, S_OK, S_OK, D, I } },
        { "EnumData", [&](METADATA_HANDLE h) { return admin->EnumData(h, site(h), record(0), 0, &n); }, { S_OK, S_OK, S_OK, D, I } },
        { "SetData", [&](METADATA_HANDLE h) { return Set(admin.Get(), h, L"ROOT", MD_SERVER_COMMENT, STRING_METADATA, StringBytes(L"x")); }, { D, D, S_OK, S_OK, I } },
        { "DeleteData", [&](METADATA_HANDLE h) { return absent(admin->DeleteData(h, L"ROOT", MD_SERVER_COMMENT, ALL_METADATA), HR_MD_DATA_NOT_FOUND); }, { D, D, S_OK, S_OK, I } },
        { "AddKey", [&](METADATA_HANDLE h) { return absent(admin->AddKey(h, L"ROOT/New"), HR_ALREADY_EXISTS); }, { D, D, S_OK, S_OK, I } },
        { "DeleteKey", [&](METADATA_HANDLE h) { return absent(admin->DeleteKey(h, L"ROOT/New"), HR_PATH_NOT_FOUND); }, { D, D, S_OK, S_OK, I } },
    };
    const DWORD access[] = { 0, R, R | W, W };
    for (const auto& row : rows) {
        for (int kind = 0; kind < 5; ++kind) {
            METADATA_HANDLE h = kind == 4 ? closed : 0;
            ASSERT_TRUE(kind == 0 || kind == 4 || Open(admin.Get(), L"/LM/W3SVC/1", access[kind], h) == S_OK) << kind;
            HRESULT hr = row.call(h);
            EXPECT_EQ(row.expected[kind], hr) << row.method << " with handle kind " << kind << ": " << Hr(hr);
            EXPECT_TRUE(kind == 0 || kind == 4 || admin->CloseKey(h) == S_OK) << kind;
        }
    }
}

TEST_F(Methods, AddKeyCreatesTheWholePathOnceDeleteKeyTheSubtreeEnumKeysOneLevel)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R | W, site));
    const std::wstring longest(255, L'n'), tooLongInside = L"ROOT/" + std::wstring(256, L'n') + L"/x";
    const struct
    {
        bool add;
        const wchar_t* path;
        HRESULT expected;
    } rows[] = {
        { true, nullptr, E_INVALIDARG },
        { true, L"/", HR_ALREADY_EXISTS },      // the handle's own key
        { true, L"root", HR_ALREADY_EXISTS },   // same key, other spelling
        { true, L"ROOT/Zeta/B", S_OK },         // Zeta is created on the way
        { true, L"ROOT/Zeta", HR_ALREADY_EXISTS },
        { true, L"ROOT/alpha", S_OK },
        { true, L"ROOT/Mid", S_OK },
        { true, longest.c_str(), S_OK },
        { true, tooLongInside.c_str(), HR_INVALID_NAME },
        { false, L"/", E_INVALIDARG },   // the handle's own key
        { false, L"Missing/A", HR_PATH_NOT_FOUND },
        { false, L"root/zeta", S_OK },
        { false, L"ROOT/Zeta/B", HR_PATH_NOT_FOUND },   // the subtree went too
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        HRESULT hr = rows[i].add ? admin->AddKey(site, rows[i].path) : admin->DeleteKey(site, rows[i].path);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
    }
    EXPECT_EQ((std::vector<std::wstring>{ L"ROOT", longest }), ChildNames(admin.Get(), L"/LM/W3SVC/1"));
    EXPECT_EQ(HR_MD_DATA_NOT_FOUND, Get(admin.Get(), site, L"ROOT/Mid", MD_KEY_TYPE).hr) << "a new key holds no data";
    ASSERT_EQ(S_OK, admin->AddKey(site, L"ROOT/Beta"));
    // One level, in creation order; only the name and its terminator are written.
    const wchar_t* expected[] = { L"alpha", L"Mid", L"Beta", nullptr };
    for (DWORD i = 0; i < ARRAYSIZE(expected); ++i) {
        wchar_t name[METADATA_MAX_NAME_LEN];
        wmemset(name, 0xCDCD, METADATA_MAX_NAME_LEN);
        HRESULT hr = admin->EnumKeys(site, L"ROOT", name, i);
        EXPECT_EQ(expected[i] ? S_OK : HR_NO_MORE_ITEMS, hr) << "index " << i << ": " << Hr(hr);
        size_t length = expected[i] ? wcslen(expected[i]) + 1 : 0;
        EXPECT_EQ(expected[i] ? expected[i] : L"", std::wstring(name, length ? length - 1 : 0)) << "index " << i;
        EXPECT_EQ(0xCDCD, name[length]) << "index " << i;
    }
    wchar_t name[METADATA_MAX_NAME_LEN];
    EXPECT_EQ(E_INVALIDARG, admin->EnumKeys(site, L"", nullptr, 0));
    EXPECT_EQ(HR_PATH_NOT_FOUND, admin->EnumKeys(site, L"Missing", name, 0));
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Data, GetDataFindsOwnAndInheritedValues)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    // Access flags: inheritable on the service, set without INHERIT on site 1 - which stops inheritance.
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC", W, site));
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"", MD_ACCESS_PERM, DWORD_METADATA, DwordBytes(0x201), METADATA_INHERIT, IIS_MD_UT_FILE));
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"1", MD_ACCESS_PERM, DWORD_METADATA, DwordBytes(1), 0, IIS_MD_UT_FILE));
    // Default documents: inheritable on the service only, two levels above ROOT.
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"", MD_DEFAULT_LOAD_FILE, STRING_METADATA, StringBytes(L"a.htm"), METADATA_INHERIT, IIS_MD_UT_FILE));
    ASSERT_EQ(S_OK, admin->CloseKey(site));
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site));
    const DWORD I = METADATA_INHERIT, P = METADATA_PARTIAL_PATH, M = METADATA_ISINHERITED, A = ALL_METADATA;
    const std::wstring kSite = std::wstring(L"Default Web Site") + L'\0';
    const std::wstring kBindings = std::wstring(L":80:") + L'\0' + L":8080:" + L'\0' + L'\0';
    const std::wstring kFolder = std::wstring(L"c:\\inetpub\\wwwroot") + L'\0';
    const struct
    {
        const wchar_t* path;
        DWORD id;
        DWORD attributes;
        DWORD dataType;
        HRESULT expected;
        std::wstring value;
        DWORD userType;
        DWORD outAttributes;
    } rows[] = {
        // What the program reads: the description and root folder at ROOT, the bindings at the site.
        { L"ROOT", MD_SERVER_COMMENT, I, A, S_OK, kSite, IIS_MD_UT_SERVER, I },
        { L"ROOT", MD_VR_PATH, I, A, S_OK, kFolder, IIS_MD_UT_FILE, I },   // user type asked is not a filter
        { nullptr, MD_SERVER_BINDINGS, 0, A, S_OK, kBindings, IIS_MD_UT_SERVER, 0 },
        { L"ROOT", MD_SERVER_COMMENT, I | M, A, S_OK, kSite, IIS_MD_UT_SERVER, I | M },
        { L"", MD_SERVER_COMMENT, I | M, A, S_OK, kSite, IIS_MD_UT_SERVER, I },   // own value: no mark
        { L"ROOT", MD_SERVER_COMMENT, 0, A, HR_MD_DATA_NOT_FOUND, L"", 0, 0 },
        { L"ROOT", MD_SERVER_BINDINGS, I, A, HR_MD_DATA_NOT_FOUND, L"", 0, 0 },   // not inheritable
        { L"ROOT", MD_ACCESS_PERM, I, A, HR_MD_DATA_NOT_FOUND, L"", 0, 0 },       // nearest setter is not inheritable
        { L"ROOT", MD_DEFAULT_LOAD_FILE, I | M, A, S_OK, std::wstring(L"a.htm") + L'\0', IIS_MD_UT_FILE, I | M },
        { L"ROOT", MD_VR_PATH, 0, DWORD_METADATA, HR_MD_DATA_NOT_FOUND, L"", 0, 0 },   // the data type filters
        { L"ROOT", MD_VR_PATH, 0, INVALID_END_METADATA, E_INVALIDARG, L"", 0, 0 },
        { L"ROOT/Missing", MD_SERVER_COMMENT, I, A, HR_PATH_NOT_FOUND, L"", 0, 0 },
        { L"ROOT/Missing/Deeper", MD_VR_PATH, I | P, A, S_OK, kFolder, IIS_MD_UT_FILE, I },
        { L"ROOT/Missing", MD_VR_PATH, P, A, E_INVALIDARG, L"", 0, 0 },   // partial path needs inherit
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        Value v = Get(admin.Get(), site, rows[i].path, rows[i].id, rows[i].attributes, rows[i].dataType);
        EXPECT_EQ(rows[i].expected, v.hr) << "row " << i << ": " << Hr(v.hr);
        if (FAILED(v.hr) || FAILED(rows[i].expected))
            continue;
        EXPECT_EQ(rows[i].value, std::wstring(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / 2)) << "row " << i;
        EXPECT_EQ(rows[i].userType, v.record.dwMDUserType) << "row " << i;
        EXPECT_EQ(rows[i].outAttributes, v.record.dwMDAttributes) << "row " << i;
        EXPECT_EQ(rows[i].id, v.record.dwMDIdentifier) << "row " << i << ": the identifier is left alone";
    }
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Data, TooSmallBufferReportsTheLengthAndStaysUntouched)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    const DWORD kBindingsBytes = 2 * (5 + 7) + 2;   // ":80:", ":8080:", final NUL
    const struct
    {
        DWORD capacity;
        bool nullBuffer;
        HRESULT expected;
    } rows[] = {
        { 0, true, HR_INSUFFICIENT_BUFFER },
        { kBindingsBytes - 1, false, HR_INSUFFICIENT_BUFFER },
        { kBindingsBytes, false, S_OK },
        { 4, true, E_INVALIDARG },   // a capacity without a buffer
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        std::vector<BYTE> buffer(rows[i].capacity + 8, kSentinel);
        METADATA_RECORD record = { MD_SERVER_BINDINGS, 0, 0, 0, rows[i].capacity, rows[i].nullBuffer ? nullptr : buffer.data(), 0 };
        DWORD required = 0xCDCDCDCD;
        HRESULT hr = admin->GetData(0, L"/LM/W3SVC/1", &record, &required);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
        EXPECT_TRUE(hr != HR_INSUFFICIENT_BUFFER || required == kBindingsBytes) << "row " << i << ": required " << required;
        for (size_t b = hr == S_OK ? kBindingsBytes : 0; b < buffer.size(); ++b)
            ASSERT_EQ(kSentinel, buffer[b]) << "row " << i << ": byte " << b << " was written";
    }
    METADATA_RECORD record = { MD_SERVER_BINDINGS, 0, 0, 0, 0, nullptr, 0 };
    EXPECT_EQ(E_INVALIDARG, admin->GetData(0, L"/LM/W3SVC/1", &record, nullptr));
}

TEST_F(Data, SetDataRefusesWhatItCannotStoreAndDeleteDataHonoursTheType)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R | W, site));
    std::vector<BYTE> text = StringBytes(L"x");
    const struct
    {
        const wchar_t* path;
        DWORD dataType;
        DWORD attributes;
        bool nullData;
        HRESULT expected;
    } rows[] = {
        { L"", ALL_METADATA, 0, false, E_INVALIDARG },
        { L"", STRING_METADATA, METADATA_ISINHERITED, false, E_INVALIDARG },
        { L"", STRING_METADATA, METADATA_PARTIAL_PATH | METADATA_INHERIT, false, E_INVALIDARG },
        { L"", STRING_METADATA, 0, true, E_INVALIDARG },
        { L"ROOT/Missing", STRING_METADATA, 0, false, HR_PATH_NOT_FOUND },   // SetData never creates keys
        { L"ROOT", STRING_METADATA, METADATA_SECURE, false, S_OK },
        { L"ROOT", STRING_METADATA, 0, false, HR_MD_CANNOT_REMOVE_SECURE_ATTRIBUTE },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        METADATA_RECORD record = { 71000, rows[i].attributes, 0, rows[i].dataType, 4, rows[i].nullData ? nullptr : text.data(), 0 };
        HRESULT hr = admin->SetData(site, rows[i].path, &record);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
    }
    // One item per identifier: setting it again replaces type, user type and attributes too.
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"", MD_SERVER_COMMENT, DWORD_METADATA, DwordBytes(5), METADATA_NO_ATTRIBUTES, 7));
    EXPECT_EQ(HR_MD_DATA_NOT_FOUND, Get(admin.Get(), site, L"ROOT", MD_SERVER_COMMENT, METADATA_INHERIT).hr) << "no longer inheritable";
    Value v = Get(admin.Get(), site, L"", MD_SERVER_COMMENT);
    EXPECT_EQ(DwordBytes(5), v.data);
    EXPECT_EQ(7u, v.record.dwMDUserType);

    EXPECT_EQ(HR_MD_DATA_NOT_FOUND, admin->DeleteData(site, L"", MD_SERVER_BINDINGS, STRING_METADATA));
    EXPECT_EQ(HR_PATH_NOT_FOUND, admin->DeleteData(site, L"Missing", MD_SERVER_BINDINGS, ALL_METADATA));
    EXPECT_EQ(S_OK, admin->DeleteData(site, L"", MD_SERVER_BINDINGS, MULTISZ_METADATA));
    EXPECT_EQ(HR_MD_DATA_NOT_FOUND, Get(admin.Get(), site, L"", MD_SERVER_BINDINGS).hr);
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Server, ClassFactoryAndObjectFollowTheComRules)
{
    // Found through its registration, as CoCreateInstance finds it.
    wchar_t dll[MAX_PATH * 2] = {};
    DWORD size = sizeof dll;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{A9E69610-B80D-11D0-B9B9-00A0C922E750}\\InprocServer32",
                                            nullptr, RRF_RT_REG_SZ, nullptr, dll, &size));
    HMODULE module = ::LoadLibraryW(dll);
    ASSERT_NE(nullptr, module);
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject(CLSID_MSAdminBase_W, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    ComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf())));
    ComPtr<IMSAdminBaseW> admin;
    ComPtr<IUnknown> identity;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IMSAdminBase_W, reinterpret_cast<void**>(admin.GetAddressOf())));
    EXPECT_EQ(S_OK, admin.As(&identity));
    EXPECT_EQ(object.Get(), identity.Get()) << "one IUnknown";

    // Refusals clear the out pointer; the later interface versions are not offered.
    const struct
    {
        const char* call;
        std::function<HRESULT(void**)> run;
        HRESULT expected;
    } rows[] = {
        { "other class", [&](void** out) { return getClassObject(IID_IUnknown, IID_IClassFactory, out); }, CLASS_E_CLASSNOTAVAILABLE },
        { "aggregation", [&](void** out) { return factory->CreateInstance(object.Get(), IID_IUnknown, out); }, CLASS_E_NOAGGREGATION },
        { "create as IMSAdminBase2", [&](void** out) { return factory->CreateInstance(nullptr, IID_IMSAdminBase2_W, out); }, E_NOINTERFACE },
        { "query IMSAdminBase3", [&](void** out) { return object->QueryInterface(IID_IMSAdminBase3_W, out); }, E_NOINTERFACE },
    };
    for (const auto& row : rows) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(row.expected, row.run(&out)) << row.call;
        EXPECT_EQ(nullptr, out) << row.call;
    }
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_MSAdminBase_W, IID_IClassFactory, nullptr));

    // The DLL stays while anything of it lives, refused objects included.
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    object.Reset(), admin.Reset(), identity.Reset();
    EXPECT_EQ(S_OK, canUnloadNow());
    ::FreeLibrary(module);
}

}   // namespace

}   // namespace zem::ui
