// The metabase routines against an admin base object that fails the calls a row names: each failing step
// gives its own result, the metabase is left as the routine left it, and no handle or object outlives a call.
#include "MetabaseConnection.h"
#include "SiteInfo.h"
#include "VirtualDir.h"
#include "fake_admin_base.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const wchar_t kZem[] = L"/LM/W3SVC/1/ROOT/Zem";

class MetabaseFault : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_apartment.Reset(SUCCEEDED(::CoInitialize(nullptr)));
        ASSERT_TRUE(m_apartment);
        m_registration = new FakeAdminBaseRegistration(m_metabase);
        ASSERT_TRUE(m_registration->ok());
    }
    void TearDown() override
    {
        delete m_registration;
        m_apartment.Reset();
    }
    // Nothing the routine obtained may outlive it.
    void ExpectReleased(size_t row)
    {
        EXPECT_EQ(0, m_metabase.openHandles) << "row " << row;
        EXPECT_EQ(0, m_metabase.liveObjects) << "row " << row;
    }

    ComApartment m_apartment;
    FakeMetabase m_metabase;
    FakeAdminBaseRegistration* m_registration = nullptr;
};

TEST_F(MetabaseFault, VirtualDirectoryStopsAtTheFirstFailingStep)
{
    // The method whose call number callIndex fails (null: the object cannot be created) and what is left.
    struct Row { const wchar_t* method; size_t callIndex; HRESULT hr; bool keyAfter; std::vector<DWORD> idsAfter; size_t callsMade; };
    const std::vector<DWORD> all = { MD_KEY_TYPE, MD_VR_PATH, MD_DEFAULT_LOAD_FILE, MD_ACCESS_PERM };
    const Row rows[] = {
        { nullptr, 0, HR_ACCESS_DENIED, false, {}, 0 },
        { L"OpenKey", 0, HR_ACCESS_DENIED, false, {}, 1 },
        { L"OpenKey", 0, HR_PATH_BUSY, false, {}, 1 },
        { L"AddKey", 0, E_FAIL, false, {}, 3 },                      // the root key is closed again
        { L"CloseKey", 0, E_FAIL, true, {}, 3 },
        { L"OpenKey", 1, HR_PATH_BUSY, true, {}, 4 },
        { L"SetData", 0, E_FAIL, true, {}, 6 },
        { L"SetData", 1, HR_ACCESS_DENIED, true, { MD_VR_PATH }, 7 },
        { L"SetData", 2, E_FAIL, true, { MD_KEY_TYPE, MD_VR_PATH }, 8 },
        { L"SetData", 3, E_FAIL, true, { MD_KEY_TYPE, MD_VR_PATH, MD_ACCESS_PERM }, 9 },
        { L"CloseKey", 1, E_FAIL, true, all, 9 },
        { L"", 0, S_OK, true, all, 9 },                              // nothing fails
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const Row& row = rows[i];
        m_metabase = FakeMetabase();
        m_metabase.AddKey(L"/LM/W3SVC/1/ROOT");
        if (!row.method)
            m_metabase.createResult = row.hr;
        else if (*row.method)
        {
            auto& queue = m_metabase.script[row.method];
            queue.assign(row.callIndex, S_OK);
            queue.push_back(row.hr);
        }
        EXPECT_EQ(row.hr, CreateWebVirtualDir(1, "Zem", "C:\\Inetpub\\ZemWeb\\", "ZemWeb.htm,default.htm")) << "row " << i;
        EXPECT_EQ(row.keyAfter, m_metabase.HasKey(kZem)) << "row " << i;
        EXPECT_EQ(row.idsAfter, m_metabase.Ids(kZem)) << "row " << i;
        EXPECT_EQ(row.callsMade, m_metabase.calls.size()) << "row " << i;
        ExpectReleased(i);
    }
}

TEST_F(MetabaseFault, VirtualDirectoryRecordsAndAnExistingOneNeverChanged)
{
    m_metabase.AddKey(L"/LM/W3SVC/1/ROOT");
    ASSERT_EQ(S_OK, CreateWebVirtualDir(1, "Zem", "D:\\Web\\ZemWeb\\", "ZemWeb.htm,default.htm"));
    const struct { DWORD id; DWORD type; std::vector<BYTE> data; } rows[] = {
        { MD_VR_PATH, STRING_METADATA, StringBytes(L"D:\\Web\\ZemWeb\\") },
        { MD_KEY_TYPE, STRING_METADATA, StringBytes(L"IIsWebVirtualDir") },
        { MD_ACCESS_PERM, DWORD_METADATA, { 1, 0, 0, 0 } },
        { MD_DEFAULT_LOAD_FILE, STRING_METADATA, StringBytes(L"ZemWeb.htm,default.htm") },
    };
    const FakeValue none;
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const FakeValue& v = m_metabase.keys[kZem].count(rows[i].id) ? m_metabase.keys[kZem][rows[i].id] : none;
        EXPECT_EQ(static_cast<DWORD>(METADATA_INHERIT), v.attributes) << "row " << i;
        EXPECT_EQ(static_cast<DWORD>(IIS_MD_UT_FILE), v.userType) << "row " << i;
        EXPECT_EQ(rows[i].type, v.dataType) << "row " << i;
        EXPECT_EQ(rows[i].data, v.data) << "row " << i;
    }

    // Without default documents or a folder: no document list, an empty path.
    m_metabase = FakeMetabase();
    m_metabase.AddKey(L"/LM/W3SVC/1/ROOT");
    ASSERT_EQ(S_OK, CreateWebVirtualDir(1, "Zem", "", nullptr));
    EXPECT_EQ((std::vector<DWORD>{ MD_KEY_TYPE, MD_VR_PATH, MD_ACCESS_PERM }), m_metabase.Ids(kZem));
    EXPECT_EQ(StringBytes(L""), m_metabase.keys[kZem][MD_VR_PATH].data);

    const auto before = m_metabase.keys;
    EXPECT_EQ(HR_ALREADY_EXISTS, CreateWebVirtualDir(1, "Zem", "C:\\New\\", "x.htm"));
    EXPECT_EQ(HR_PATH_NOT_FOUND, CreateWebVirtualDir(0, "Zem", "C:\\New\\", nullptr));   // no site selected
    EXPECT_TRUE(before == m_metabase.keys);
    ExpectReleased(0);
}

const size_t kCells = SITE_VALUE_CCH + 8;   // each buffer with a guard of 8 behind the size the routine knows

bool Untouched(const WCHAR* b, size_t from = 0)
{
    return std::all_of(b + from, b + kCells, [](WCHAR c) { return c == 0xAAAA; });
}

// The description, root folder and first binding of site 1, or the buffers left alone, and a result that
// is the last read's (a failed read hidden by later ones), whatever stage fails.
TEST_F(MetabaseFault, SiteQueryReportsItsLastReadAndLeavesFailedBuffers)
{
    m_metabase.SetMultiString(L"/LM/W3SVC/1", MD_SERVER_BINDINGS, { L":80:", L":8080:" });
    m_metabase.SetString(L"/LM/W3SVC/1/ROOT", MD_SERVER_COMMENT, L"Default Web Site");
    m_metabase.SetString(L"/LM/W3SVC/1/ROOT", MD_VR_PATH, L"C:\\Inetpub\\wwwroot");
    const struct { int site; HRESULT create; std::deque<HRESULT> reads; HRESULT result; bool filled[3]; } rows[] = {
        { 1, S_OK, {}, S_OK, { true, true, true } },
        { 1, S_OK, { HR_MD_DATA_NOT_FOUND }, S_OK, { false, true, true } },
        { 1, S_OK, { S_OK, HR_ACCESS_DENIED }, S_OK, { true, false, true } },
        { 1, S_OK, { S_OK, S_OK, HR_MD_DATA_NOT_FOUND }, HR_MD_DATA_NOT_FOUND, { true, true, false } },
        { 1, S_OK, { E_FAIL, E_FAIL, E_FAIL }, E_FAIL, { false, false, false } },
        { 2, S_OK, {}, HR_PATH_NOT_FOUND, { false, false, false } },
        { 1, REGDB_E_CLASSNOTREG, {}, REGDB_E_CLASSNOTREG, { false, false, false } },
    };
    const wchar_t* const expected[3] = { L"Default Web Site", L"C:\\Inetpub\\wwwroot", L":80:" };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        m_metabase.script[L"GetData"] = rows[i].reads;
        m_metabase.createResult = rows[i].create;
        WCHAR b[3][kCells];
        std::fill(&b[0][0], &b[0][0] + 3 * kCells, static_cast<WCHAR>(0xAAAA));
        EXPECT_EQ(rows[i].result, QuerySiteInfo(rows[i].site, b[0], b[1], b[2])) << "row " << i;
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_EQ(!rows[i].filled[k], Untouched(b[k])) << "row " << i << ", buffer " << k;
            EXPECT_TRUE(!rows[i].filled[k] || expected[k] == std::wstring(b[k])) << "row " << i << ", buffer " << k;
        }
        ExpectReleased(i);
    }
}

TEST_F(MetabaseFault, SiteQueryNeverWritesPastItsBuffers)
{
    // The longest value a read accepts fits whole; a longer one fails the read and leaves the buffer.
    const std::wstring longest(SITE_VALUE_CCH - 1, L'x');
    const struct { std::wstring root; HRESULT result; } rows[] = {
        { longest, S_OK },
        { longest + L"y", HR_INSUFFICIENT_BUFFER },
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        m_metabase.SetString(L"/LM/W3SVC/1/ROOT", MD_VR_PATH, rows[i].root);
        WCHAR root[kCells];
        std::fill(root, root + kCells, static_cast<WCHAR>(0xAAAA));
        EXPECT_EQ(rows[i].result, QuerySiteInfo(1, nullptr, root, nullptr)) << "row " << i;
        EXPECT_TRUE(SUCCEEDED(rows[i].result) ? longest == root && Untouched(root, SITE_VALUE_CCH) : Untouched(root))
            << "row " << i;
    }
    // A multi-string value whose first string fills the work buffer and has no terminator inside it.
    m_metabase.SetMultiString(L"/LM/W3SVC/1", MD_SERVER_BINDINGS, { std::wstring(SITE_VALUE_CCH - 2, L'b') });
    WCHAR binding[kCells];
    std::fill(binding, binding + kCells, static_cast<WCHAR>(0xAAAA));
    EXPECT_EQ(S_OK, QuerySiteInfo(1, nullptr, nullptr, binding));
    EXPECT_EQ(std::wstring(SITE_VALUE_CCH - 2, L'b'), std::wstring(binding));
    EXPECT_TRUE(Untouched(binding, SITE_VALUE_CCH));
}

} // namespace
