// The metabase routines against an admin base object that fails the calls a row names: each failing step
// gives its own result, the metabase is left as the routine left it, and no handle or object outlives a call.
#include "SiteInfo.h"
#include "VirtualDir.h"
#include "fake_admin_base.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);   // 0x80070003
const HRESULT kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);    // 0x80070005
const HRESULT kPathBusy = HRESULT_FROM_WIN32(ERROR_PATH_BUSY);            // 0x80070094
const HRESULT kAlreadyExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);  // 0x800700B7
const HRESULT kDataNotFound = static_cast<HRESULT>(MD_ERROR_DATA_NOT_FOUND);

const wchar_t kZem[] = L"/LM/W3SVC/1/ROOT/Zem";

class MetabaseFault : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        m_registration = new FakeAdminBaseRegistration(m_metabase);
        ASSERT_TRUE(m_registration->ok());
    }
    void TearDown() override
    {
        delete m_registration;
        ::CoUninitialize();
    }

    // Nothing the routine obtained may outlive it.
    void ExpectReleased(const char* what)
    {
        EXPECT_EQ(0, m_metabase.openHandles) << what;
        EXPECT_EQ(0, m_metabase.liveObjects) << what;
    }

    FakeMetabase m_metabase;
    FakeAdminBaseRegistration* m_registration = nullptr;
};

TEST_F(MetabaseFault, VirtualDirectoryStopsAtTheFirstFailingStep)
{
    struct Row
    {
        const wchar_t* method;   // null: the object cannot be created
        size_t callIndex;        // which call of that method fails
        HRESULT hr;
        bool keyAfter;
        std::vector<DWORD> idsAfter;
        size_t callsMade;
    };
    const std::vector<DWORD> all = { MD_KEY_TYPE, MD_VR_PATH, MD_DEFAULT_LOAD_FILE, MD_ACCESS_PERM };
    const Row rows[] = {
        { nullptr, 0, kAccessDenied, false, {}, 0 },
        { L"OpenKey", 0, kAccessDenied, false, {}, 1 },
        { L"OpenKey", 0, kPathBusy, false, {}, 1 },
        { L"AddKey", 0, E_FAIL, false, {}, 3 },                      // the root key is closed again
        { L"CloseKey", 0, E_FAIL, true, {}, 3 },
        { L"OpenKey", 1, kPathBusy, true, {}, 4 },
        { L"SetData", 0, E_FAIL, true, {}, 6 },
        { L"SetData", 1, kAccessDenied, true, { MD_VR_PATH }, 7 },
        { L"SetData", 2, E_FAIL, true, { MD_KEY_TYPE, MD_VR_PATH }, 8 },
        { L"SetData", 3, E_FAIL, true, { MD_KEY_TYPE, MD_VR_PATH, MD_ACCESS_PERM }, 9 },
        { L"CloseKey", 1, E_FAIL, true, all, 9 },
        { L"", 0, S_OK, true, all, 9 },                              // nothing fails
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const Row& row = rows[i];
        m_metabase.keys.clear();
        m_metabase.calls.clear();
        m_metabase.script.clear();
        m_metabase.createResult = S_OK;
        m_metabase.AddKey(L"/LM/W3SVC/1/ROOT");
        if (!row.method)
            m_metabase.createResult = row.hr;
        else if (*row.method)
        {
            auto& queue = m_metabase.script[row.method];
            queue.assign(row.callIndex, S_OK);
            queue.push_back(row.hr);
        }

        HRESULT hr = CreateWebVirtualDir(1, L"Zem", L"C:\\Inetpub\\ZemWeb\\", L"ZemWeb.htm,default.htm");
        EXPECT_EQ(row.hr, hr) << "row " << i;
        EXPECT_EQ(row.keyAfter, m_metabase.HasKey(kZem)) << "row " << i;
        EXPECT_EQ(row.idsAfter, m_metabase.Ids(kZem)) << "row " << i;
        EXPECT_EQ(row.callsMade, m_metabase.calls.size()) << "row " << i;
        ExpectReleased(("row " + std::to_string(i)).c_str());
    }
}

TEST_F(MetabaseFault, VirtualDirectoryRecordsAsWritten)
{
    m_metabase.AddKey(L"/LM/W3SVC/1/ROOT");
    ASSERT_EQ(S_OK, CreateWebVirtualDir(1, L"Zem", L"D:\\Web\\ZemWeb\\", L"ZemWeb.htm,default.htm"));

    const auto& values = m_metabase.keys[kZem];
    struct { DWORD id; DWORD type; size_t len; } rows[] = {
        { MD_VR_PATH, STRING_METADATA, sizeof(L"D:\\Web\\ZemWeb\\") },
        { MD_KEY_TYPE, STRING_METADATA, 34 },
        { MD_ACCESS_PERM, DWORD_METADATA, 4 },
        { MD_DEFAULT_LOAD_FILE, STRING_METADATA, sizeof(L"ZemWeb.htm,default.htm") },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        ASSERT_TRUE(values.count(rows[i].id)) << "row " << i;
        const FakeValue& v = values.at(rows[i].id);
        EXPECT_EQ(static_cast<DWORD>(METADATA_INHERIT), v.attributes) << "row " << i;
        EXPECT_EQ(static_cast<DWORD>(IIS_MD_UT_FILE), v.userType) << "row " << i;
        EXPECT_EQ(rows[i].type, v.dataType) << "row " << i;
        EXPECT_EQ(rows[i].len, v.data.size()) << "row " << i;
    }
    EXPECT_EQ(std::wstring(L"D:\\Web\\ZemWeb\\", 15), m_metabase.String(kZem, MD_VR_PATH));
    EXPECT_EQ(std::wstring(L"IIsWebVirtualDir", 17), m_metabase.String(kZem, MD_KEY_TYPE));
    EXPECT_EQ(std::vector<BYTE>({ 1, 0, 0, 0 }), values.at(MD_ACCESS_PERM).data);
}

TEST_F(MetabaseFault, VirtualDirectoryWithoutDefaultDocumentsOrFolder)
{
    m_metabase.AddKey(L"/LM/W3SVC/1/ROOT");
    ASSERT_EQ(S_OK, CreateWebVirtualDir(1, L"Zem", L"", nullptr));
    EXPECT_EQ((std::vector<DWORD>{ MD_KEY_TYPE, MD_VR_PATH, MD_ACCESS_PERM }), m_metabase.Ids(kZem));
    EXPECT_EQ(2u, m_metabase.keys[kZem][MD_VR_PATH].data.size());   // only the terminator
}

TEST_F(MetabaseFault, ExistingVirtualDirectoryIsNeverChanged)
{
    m_metabase.SetString(kZem, MD_VR_PATH, L"E:\\Old\\");
    const auto before = m_metabase.keys;
    EXPECT_EQ(kAlreadyExists, CreateWebVirtualDir(1, L"Zem", L"C:\\New\\", L"x.htm"));
    EXPECT_TRUE(before == m_metabase.keys);
    EXPECT_EQ(kPathNotFound, CreateWebVirtualDir(0, L"Zem", L"C:\\New\\", nullptr));   // no site selected
    EXPECT_TRUE(before == m_metabase.keys);
    ExpectReleased("after both");
}

// Site 1 with a description, a root folder and two bindings, as the query reads them.
void SeedSite(FakeMetabase& m, const std::wstring& root)
{
    m.SetMultiString(L"/LM/W3SVC/1", MD_SERVER_BINDINGS, { L":80:", L":8080:" });
    m.SetString(L"/LM/W3SVC/1/ROOT", MD_SERVER_COMMENT, L"Default Web Site");
    m.SetString(L"/LM/W3SVC/1/ROOT", MD_VR_PATH, root);
}

struct Buffers
{
    WCHAR description[SITE_VALUE_CCH + 8];
    WCHAR root[SITE_VALUE_CCH + 8];
    WCHAR binding[SITE_VALUE_CCH + 8];
    Buffers()
    {
        for (WCHAR* b : { description, root, binding })
            std::fill(b, b + SITE_VALUE_CCH + 8, static_cast<WCHAR>(0xAAAA));
    }
    static bool Untouched(const WCHAR* b)
    {
        return std::all_of(b, b + SITE_VALUE_CCH + 8, [](WCHAR c) { return c == 0xAAAA; });
    }
    static bool GuardIntact(const WCHAR* b)
    {
        return std::all_of(b + SITE_VALUE_CCH, b + SITE_VALUE_CCH + 8, [](WCHAR c) { return c == 0xAAAA; });
    }
};

TEST_F(MetabaseFault, SiteQueryResultIsTheLastCallMade)
{
    SeedSite(m_metabase, L"C:\\Inetpub\\wwwroot");
    struct { std::deque<HRESULT> reads; HRESULT result; bool description; bool root; bool binding; } rows[] = {
        { {}, S_OK, true, true, true },
        { { kDataNotFound }, S_OK, false, true, true },             // hidden by later reads
        { { S_OK, kAccessDenied }, S_OK, true, false, true },
        { { S_OK, S_OK, kDataNotFound }, kDataNotFound, true, true, false },   // the last
        { { E_FAIL, E_FAIL, E_FAIL }, E_FAIL, false, false, false },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        m_metabase.script.clear();
        m_metabase.script[L"GetData"] = rows[i].reads;
        Buffers b;
        EXPECT_EQ(rows[i].result, QuerySiteInfo(1, b.description, b.root, b.binding)) << "row " << i;
        EXPECT_EQ(rows[i].description, !Buffers::Untouched(b.description)) << "row " << i;
        EXPECT_EQ(rows[i].root, !Buffers::Untouched(b.root)) << "row " << i;
        EXPECT_EQ(rows[i].binding, !Buffers::Untouched(b.binding)) << "row " << i;
        EXPECT_EQ(rows[i].description, std::wstring(L"Default Web Site") == b.description) << "row " << i;
        EXPECT_EQ(rows[i].root, std::wstring(L"C:\\Inetpub\\wwwroot") == b.root) << "row " << i;
        EXPECT_EQ(rows[i].binding, std::wstring(L":80:") == b.binding) << "row " << i;   // the first binding only
        ExpectReleased(("row " + std::to_string(i)).c_str());
    }
}

TEST_F(MetabaseFault, SiteQueryWithoutTheSiteOrTheObjectLeavesTheBuffers)
{
    SeedSite(m_metabase, L"C:\\Inetpub\\wwwroot");
    struct { int site; HRESULT create; HRESULT result; } rows[] = {
        { 2, S_OK, kPathNotFound },
        { 1, REGDB_E_CLASSNOTREG, REGDB_E_CLASSNOTREG },
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        m_metabase.createResult = rows[i].create;
        Buffers b;
        EXPECT_EQ(rows[i].result, QuerySiteInfo(rows[i].site, b.description, b.root, b.binding)) << "row " << i;
        EXPECT_TRUE(Buffers::Untouched(b.description) && Buffers::Untouched(b.root) && Buffers::Untouched(b.binding))
            << "row " << i;
        ExpectReleased(("row " + std::to_string(i)).c_str());
    }
}

TEST_F(MetabaseFault, SiteQueryNeverWritesPastItsBuffers)
{
    // The longest value a read accepts fits whole; a longer one fails the read and leaves the buffer.
    const std::wstring longest(SITE_VALUE_CCH - 1, L'x');
    SeedSite(m_metabase, longest);
    Buffers b;
    EXPECT_EQ(S_OK, QuerySiteInfo(1, nullptr, b.root, nullptr));
    EXPECT_EQ(longest, std::wstring(b.root));
    EXPECT_TRUE(Buffers::GuardIntact(b.root));

    SeedSite(m_metabase, longest + L"y");
    Buffers tooLong;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), QuerySiteInfo(1, nullptr, tooLong.root, nullptr));
    EXPECT_TRUE(Buffers::Untouched(tooLong.root));

    // A multi-string value whose first string fills the work buffer and has no terminator inside it.
    m_metabase.SetMultiString(L"/LM/W3SVC/1", MD_SERVER_BINDINGS, { std::wstring(SITE_VALUE_CCH - 2, L'b') });
    Buffers binding;
    EXPECT_EQ(S_OK, QuerySiteInfo(1, nullptr, nullptr, binding.binding));
    EXPECT_EQ(std::wstring(SITE_VALUE_CCH - 2, L'b'), std::wstring(binding.binding));
    EXPECT_TRUE(Buffers::GuardIntact(binding.binding));
}

} // namespace
