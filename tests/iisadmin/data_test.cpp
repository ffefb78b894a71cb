// Values: lookup and inheritance, data types and lengths, multi-strings, buffers too small.
#include "MetabaseTest.h"

namespace mdtest {

namespace {

class Data : public MetabaseTest
{
};

std::wstring Text(const std::vector<BYTE>& data)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
}

TEST_F(Data, GetDataFindsOwnAndInheritedValues)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE lm;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", W, lm));
    // Access flags: inheritable on the service, set without INHERIT on site 1 - which stops inheritance.
    ASSERT_EQ(S_OK, Set(admin.Get(), lm, L"W3SVC", MD_ACCESS_PERM, DWORD_METADATA, Dword(0x201), METADATA_INHERIT, IIS_MD_UT_FILE));
    ASSERT_EQ(S_OK, Set(admin.Get(), lm, L"W3SVC/1", MD_ACCESS_PERM, DWORD_METADATA, Dword(1), METADATA_NO_ATTRIBUTES, IIS_MD_UT_FILE));
    ASSERT_EQ(S_OK, admin->CloseKey(lm));

    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site));
    const DWORD I = METADATA_INHERIT, P = METADATA_PARTIAL_PATH, M = METADATA_ISINHERITED;
    const std::wstring kSite = std::wstring(L"Default Web Site") + L'\0';
    const std::wstring kBindings = std::wstring(L":80:") + L'\0' + L":8080:" + L'\0' + L'\0';
    const std::wstring kFolder = std::wstring(L"c:\\inetpub\\wwwroot") + L'\0';
    struct Row
    {
        const wchar_t* path; DWORD id; DWORD attributes; DWORD dataType;
        HRESULT expected; std::wstring value; DWORD userType; DWORD outAttributes;
    };
    const Row rows[] = {
        // What the program reads: the description and root folder at ROOT, the bindings at the site.
        { L"ROOT", MD_SERVER_COMMENT, I, ALL_METADATA, S_OK, kSite, IIS_MD_UT_SERVER, I },
        { L"ROOT", MD_VR_PATH, I, ALL_METADATA, S_OK, kFolder, IIS_MD_UT_FILE, I },   // user type asked is not a filter
        { nullptr, MD_SERVER_BINDINGS, 0, ALL_METADATA, S_OK, kBindings, IIS_MD_UT_SERVER, 0 },
        { L"ROOT", MD_SERVER_COMMENT, I | M, ALL_METADATA, S_OK, kSite, IIS_MD_UT_SERVER, I | M },
        { L"", MD_SERVER_COMMENT, I | M, ALL_METADATA, S_OK, kSite, IIS_MD_UT_SERVER, I },   // own value: no mark
        { L"ROOT", MD_SERVER_COMMENT, 0, ALL_METADATA, kDataNotFound, L"", 0, 0 },
        { L"ROOT", MD_SERVER_BINDINGS, I, ALL_METADATA, kDataNotFound, L"", 0, 0 },        // not inheritable
        { L"ROOT", MD_ACCESS_PERM, I, ALL_METADATA, kDataNotFound, L"", 0, 0 },            // nearest setter is not inheritable
        { L"ROOT", MD_VR_PATH, 0, STRING_METADATA, S_OK, kFolder, IIS_MD_UT_FILE, I },
        { L"ROOT", MD_VR_PATH, 0, DWORD_METADATA, kDataNotFound, L"", 0, 0 },              // the data type filters
        { L"ROOT", MD_VR_PATH, 0, INVALID_END_METADATA, E_INVALIDARG, L"", 0, 0 },
        { L"ROOT/Missing", MD_SERVER_COMMENT, I, ALL_METADATA, kPathNotFound, L"", 0, 0 },
        { L"ROOT/Missing/Deeper", MD_VR_PATH, I | P, ALL_METADATA, S_OK, kFolder, IIS_MD_UT_FILE, I },
        { L"ROOT/Missing", MD_VR_PATH, P, ALL_METADATA, E_INVALIDARG, L"", 0, 0 },        // partial path needs inherit
        { L"", 99999, I, ALL_METADATA, kDataNotFound, L"", 0, 0 },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        const Row& row = rows[i];
        Value v = Get(admin.Get(), site, row.path, row.id, row.attributes, row.dataType);
        EXPECT_EQ(row.expected, v.hr) << "row " << i << ": " << Hr(v.hr);
        if (FAILED(v.hr) || FAILED(row.expected))
            continue;
        EXPECT_EQ(row.value, Text(v.data)) << "row " << i;
        EXPECT_EQ(row.value.size() * sizeof(wchar_t), v.record.dwMDDataLen) << "row " << i;
        EXPECT_EQ(row.userType, v.record.dwMDUserType) << "row " << i;
        EXPECT_EQ(row.outAttributes, v.record.dwMDAttributes) << "row " << i;
        EXPECT_EQ(row.id, v.record.dwMDIdentifier) << "row " << i << ": the identifier is left alone";
    }
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Data, TooSmallBufferReportsTheLengthAndStaysUntouched)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    const DWORD kBindingsBytes = 2 * (5 + 7) + 2;   // ":80:", ":8080:", final NUL
    struct Row { DWORD capacity; bool nullBuffer; HRESULT expected; };
    const Row rows[] = {
        { 0, true, kInsufficientBuffer },
        { kBindingsBytes - 1, false, kInsufficientBuffer },
        { kBindingsBytes, false, S_OK },
        { 600, false, S_OK },
        { 4, true, E_INVALIDARG },   // a capacity without a buffer
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        std::vector<BYTE> buffer(rows[i].capacity + 8, kSentinel);
        METADATA_RECORD record = {};
        record.dwMDIdentifier = MD_SERVER_BINDINGS;
        record.dwMDDataLen = rows[i].capacity;
        record.pbMDData = rows[i].nullBuffer ? nullptr : buffer.data();
        DWORD required = 0xCDCDCDCD;
        HRESULT hr = admin->GetData(0, L"/LM/W3SVC/1", &record, &required);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
        if (hr == kInsufficientBuffer) {
            EXPECT_EQ(kBindingsBytes, required) << "row " << i;
        }
        size_t written = hr == S_OK ? kBindingsBytes : 0;
        for (size_t b = written; b < buffer.size(); ++b)
            ASSERT_EQ(kSentinel, buffer[b]) << "row " << i << ": byte " << b << " was written";
    }
    METADATA_RECORD record = {};
    record.dwMDIdentifier = MD_SERVER_BINDINGS;
    EXPECT_EQ(E_INVALIDARG, admin->GetData(0, L"/LM/W3SVC/1", &record, nullptr));
    DWORD required;
    EXPECT_EQ(E_INVALIDARG, admin->GetData(0, L"/LM/W3SVC/1", nullptr, &required));
}

TEST_F(Data, SetDataRefusesWhatItCannotStore)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R | W, site));
    std::vector<BYTE> text = Str(L"x");
    struct Row { const wchar_t* path; DWORD dataType; DWORD attributes; bool nullData; HRESULT expected; };
    const Row rows[] = {
        { L"", ALL_METADATA, 0, false, E_INVALIDARG },
        { L"", INVALID_END_METADATA, 0, false, E_INVALIDARG },
        { L"", STRING_METADATA, METADATA_ISINHERITED, false, E_INVALIDARG },
        { L"", STRING_METADATA, METADATA_PARTIAL_PATH | METADATA_INHERIT, false, E_INVALIDARG },
        { L"", STRING_METADATA, 0, true, E_INVALIDARG },
        { L"ROOT/Missing", STRING_METADATA, 0, false, kPathNotFound },   // SetData never creates keys
        { L"ROOT", STRING_METADATA, METADATA_SECURE, false, S_OK },
        { L"ROOT", STRING_METADATA, 0, false, kCannotRemoveSecure },
        { L"ROOT", STRING_METADATA, METADATA_SECURE | METADATA_INHERIT, false, S_OK },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        METADATA_RECORD record = {};
        record.dwMDIdentifier = 71000;
        record.dwMDAttributes = rows[i].attributes;
        record.dwMDDataType = rows[i].dataType;
        record.pbMDData = rows[i].nullData ? nullptr : text.data();
        HRESULT hr = admin->SetData(site, rows[i].path, &record);
        EXPECT_EQ(rows[i].expected, hr) << "row " << i << ": " << Hr(hr);
    }
    EXPECT_EQ(E_INVALIDARG, admin->SetData(site, L"", nullptr));

    // One item per identifier: setting it again replaces type, user type and attributes too.
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"", MD_SERVER_COMMENT, DWORD_METADATA, Dword(5), METADATA_NO_ATTRIBUTES, 7));
    Value v = Get(admin.Get(), site, L"ROOT", MD_SERVER_COMMENT, METADATA_INHERIT);
    EXPECT_EQ(kDataNotFound, v.hr) << "no longer inheritable";
    v = Get(admin.Get(), site, L"", MD_SERVER_COMMENT);
    ASSERT_EQ(S_OK, v.hr);
    EXPECT_EQ(Dword(5), v.data);
    EXPECT_EQ(7u, v.record.dwMDUserType);
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

TEST_F(Data, EnumDataListsOwnThenInheritedItemsAndDeleteDataHonoursTheType)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    SeedSites(admin.Get());
    // The site's description hides the service's; the bindings are not inheritable.
    struct Row { DWORD attributes; std::vector<DWORD> ids; std::vector<bool> marked; };
    const Row rows[] = {
        { METADATA_NO_ATTRIBUTES, { MD_VR_PATH }, { false } },
        { METADATA_INHERIT | METADATA_ISINHERITED, { MD_VR_PATH, MD_SERVER_COMMENT }, { false, true } },
    };
    for (size_t r = 0; r < ARRAYSIZE(rows); ++r) {
        std::vector<DWORD> ids;
        std::vector<bool> marked;
        HRESULT hr;
        BYTE buffer[600];
        METADATA_RECORD record = {};
        DWORD required = 0;
        for (DWORD index = 0;; ++index) {
            record = { 0xCDCDCDCD, rows[r].attributes, 0, 0, sizeof buffer, buffer, 0 };
            if ((hr = admin->EnumData(0, L"/LM/W3SVC/1/ROOT", &record, index, &required)) != S_OK)
                break;
            ids.push_back(record.dwMDIdentifier);
            marked.push_back((record.dwMDAttributes & METADATA_ISINHERITED) != 0);
        }
        EXPECT_EQ(kNoMoreItems, hr) << "row " << r << ": " << Hr(hr);
        EXPECT_EQ(rows[r].ids, ids) << "row " << r;
        EXPECT_EQ(rows[r].marked, marked) << "row " << r;
    }

    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R | W, site));
    EXPECT_EQ(kDataNotFound, admin->DeleteData(site, L"", MD_SERVER_BINDINGS, STRING_METADATA));
    EXPECT_EQ(E_INVALIDARG, admin->DeleteData(site, L"", MD_SERVER_BINDINGS, INVALID_END_METADATA));
    EXPECT_EQ(kPathNotFound, admin->DeleteData(site, L"Missing", MD_SERVER_BINDINGS, ALL_METADATA));
    EXPECT_EQ(S_OK, admin->DeleteData(site, L"", MD_SERVER_BINDINGS, MULTISZ_METADATA));
    EXPECT_EQ(kDataNotFound, Get(admin.Get(), site, L"", MD_SERVER_BINDINGS).hr);
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

} // namespace

} // namespace mdtest
