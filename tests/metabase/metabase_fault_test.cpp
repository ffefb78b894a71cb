// The metabase routines against the real admin base object with the calls a row names failed on purpose:
// each failing step gives its own result, the store is left as the routine left it, and no handle or
// object outlives a call.
#include "FaultyAdminBase.h"
#include "MetabaseTest.h"
#include "SiteInfo.h"
#include "VirtualDir.h"

#include <algorithm>

namespace zem::ui {

namespace {

const wchar_t kZem[] = L"/LM/W3SVC/1/ROOT/Zem";

class MetabaseFault : public MetabaseTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        MetabaseTest::SetUp();
        m_registration = std::make_unique<FaultyAdminBaseRegistration>(m_script);
        ASSERT_TRUE(m_registration->ok());
        NewStore();
    }
    void TearDown() override
    {
        m_admin.Reset();
        m_registration.reset();
        MetabaseTest::TearDown();
        ::CoUninitialize();
    }
    // A store of its own with site 1 as IIS sets it up, and an empty script.
    void NewStore()
    {
        UseStore(m_folder + L"\\" + std::to_wstring(++m_stores) + L".xml");
        m_admin = m_registration->Unwrapped();
        ASSERT_TRUE(m_admin);
        SeedSites(m_admin.Get());
        m_script = FaultScript();
    }
    // Nothing the routine obtained may outlive it.
    void ExpectReleased(size_t row)
    {
        EXPECT_EQ(0, m_script.openHandles) << "row " << row;
        EXPECT_EQ(0, m_script.liveObjects) << "row " << row;
    }
    bool HasKey(const wchar_t* path)
    {
        METADATA_HANDLE handle;
        return Open(m_admin.Get(), path, R, handle) == S_OK && m_admin->CloseKey(handle) == S_OK;
    }
    // The identifiers of the values stored at the key itself, in ascending order.
    std::vector<DWORD> Ids(const wchar_t* path)
    {
        std::vector<DWORD> ids;
        BYTE buffer[1024];
        DWORD required = 0;
        for (METADATA_RECORD record = {}; record = { 0, 0, 0, ALL_METADATA, sizeof buffer, buffer, 0 },
                             m_admin->EnumData(METADATA_MASTER_ROOT_HANDLE, path, &record, static_cast<DWORD>(ids.size()), &required) == S_OK;)
            ids.push_back(record.dwMDIdentifier);
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    // Site 1's value, written past the script.
    void SetSiteValue(const wchar_t* path, DWORD id, DWORD dataType, std::vector<BYTE> data, DWORD attributes)
    {
        METADATA_HANDLE site;
        ASSERT_EQ(S_OK, Open(m_admin.Get(), L"/LM/W3SVC/1", W, site));
        EXPECT_EQ(S_OK, Set(m_admin.Get(), site, path, id, dataType, std::move(data), attributes, IIS_MD_UT_FILE));
        EXPECT_EQ(S_OK, m_admin->CloseKey(site));
    }

    int m_stores = 0;
    FaultScript m_script;
    std::unique_ptr<FaultyAdminBaseRegistration> m_registration;
    ComPtr<IMSAdminBaseW> m_admin;   // the real object, past the script
};

TEST_F(MetabaseFault, VirtualDirectoryStopsAtTheFirstFailingStep)
{
    // The method whose call number callIndex fails (null: the object cannot be created) and what is left.
    struct Row
    {
        const wchar_t* method;
        size_t callIndex;
        HRESULT hr;
        bool keyAfter;
        std::vector<DWORD> idsAfter;
        size_t callsMade;
    };
    const std::vector<DWORD> all = { MD_KEY_TYPE, MD_VR_PATH, MD_DEFAULT_LOAD_FILE, MD_ACCESS_PERM };
    const Row rows[] = {
        { nullptr, 0, HR_ACCESS_DENIED, false, {}, 0 },
        { L"OpenKey", 0, HR_ACCESS_DENIED, false, {}, 1 },
        { L"OpenKey", 0, HR_PATH_BUSY, false, {}, 1 },
        { L"AddKey", 0, E_FAIL, false, {}, 3 },   // the root key is closed again
        { L"CloseKey", 0, E_FAIL, true, {}, 3 },
        { L"OpenKey", 1, HR_PATH_BUSY, true, {}, 4 },
        { L"SetData", 0, E_FAIL, true, {}, 6 },
        { L"SetData", 1, HR_ACCESS_DENIED, true, { MD_VR_PATH }, 7 },
        { L"SetData", 2, E_FAIL, true, { MD_KEY_TYPE, MD_VR_PATH }, 8 },
        { L"SetData", 3, E_FAIL, true, { MD_KEY_TYPE, MD_VR_PATH, MD_ACCESS_PERM }, 9 },
        { L"CloseKey", 1, E_FAIL, true, all, 9 },
        { L"", 0, S_OK, true, all, 9 },   // nothing fails
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const Row& row = rows[i];
        NewStore();
        if (!row.method)
            m_script.createResult = row.hr;
        else if (*row.method)
        {
            auto& queue = m_script.results[row.method];
            queue.assign(row.callIndex, S_OK);
            queue.push_back(row.hr);
        }
        EXPECT_EQ(row.hr, CreateWebVirtualDir(1, "Zem", "C:\\Inetpub\\ZemWeb\\", "ZemWeb.htm,default.htm")) << "row " << i;
        EXPECT_EQ(row.keyAfter, HasKey(kZem)) << "row " << i;
        EXPECT_EQ(row.idsAfter, Ids(kZem)) << "row " << i;
        EXPECT_EQ(row.callsMade, m_script.calls.size()) << "row " << i;
        ExpectReleased(i);
    }
}

TEST_F(MetabaseFault, VirtualDirectoryRecordsAndAnExistingOneNeverChanged)
{
    ASSERT_EQ(S_OK, CreateWebVirtualDir(1, "Zem", "D:\\Web\\ZemWeb\\", "ZemWeb.htm,default.htm"));
    const struct
    {
        DWORD id;
        DWORD type;
        std::vector<BYTE> data;
    } rows[] = {
        { MD_VR_PATH, STRING_METADATA, StringBytes(L"D:\\Web\\ZemWeb\\") },
        { MD_KEY_TYPE, STRING_METADATA, StringBytes(L"IIsWebVirtualDir") },
        { MD_ACCESS_PERM, DWORD_METADATA, DwordBytes(MD_ACCESS_READ) },
        { MD_DEFAULT_LOAD_FILE, STRING_METADATA, StringBytes(L"ZemWeb.htm,default.htm") },
    };
    auto written = [&](DWORD id) {
        auto it = std::find_if(m_script.written.begin(), m_script.written.end(),
                               [id](const FaultScript::Written& w) { return w.record.dwMDIdentifier == id; });
        return it == m_script.written.end() ? FaultScript::Written{} : *it;
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const FaultScript::Written w = written(rows[i].id);
        EXPECT_EQ(static_cast<DWORD>(METADATA_INHERIT), w.record.dwMDAttributes) << "row " << i;
        EXPECT_EQ(static_cast<DWORD>(IIS_MD_UT_FILE), w.record.dwMDUserType) << "row " << i;
        EXPECT_EQ(rows[i].type, w.record.dwMDDataType) << "row " << i;
        EXPECT_EQ(rows[i].data, w.data) << "row " << i;
        EXPECT_EQ(rows[i].data, Get(m_admin.Get(), METADATA_MASTER_ROOT_HANDLE, kZem, rows[i].id).data) << "row " << i;
    }

    // Without default documents or a folder: no document list, an empty path.
    NewStore();
    ASSERT_EQ(S_OK, CreateWebVirtualDir(1, "Zem", "", nullptr));
    EXPECT_EQ((std::vector<DWORD>{ MD_KEY_TYPE, MD_VR_PATH, MD_ACCESS_PERM }), Ids(kZem));
    EXPECT_EQ(StringBytes(L""), written(MD_VR_PATH).data);

    const std::vector<BYTE> before = FileBytes();
    m_script = FaultScript();
    EXPECT_EQ(HR_ALREADY_EXISTS, CreateWebVirtualDir(1, "Zem", "C:\\New\\", "x.htm"));
    EXPECT_EQ(HR_PATH_NOT_FOUND, CreateWebVirtualDir(0, "Zem", "C:\\New\\", nullptr));   // no site selected
    EXPECT_TRUE(m_script.written.empty());
    EXPECT_EQ(before, FileBytes());
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
    const struct
    {
        int site;
        HRESULT create;
        std::deque<HRESULT> reads;
        HRESULT result;
        bool filled[3];
    } rows[] = {
        { 1, S_OK, {}, S_OK, { true, true, true } },
        { 1, S_OK, { HR_MD_DATA_NOT_FOUND }, S_OK, { false, true, true } },
        { 1, S_OK, { S_OK, HR_ACCESS_DENIED }, S_OK, { true, false, true } },
        { 1, S_OK, { S_OK, S_OK, HR_MD_DATA_NOT_FOUND }, HR_MD_DATA_NOT_FOUND, { true, true, false } },
        { 1, S_OK, { E_FAIL, E_FAIL, E_FAIL }, E_FAIL, { false, false, false } },
        { 2, S_OK, {}, HR_PATH_NOT_FOUND, { false, false, false } },
        { 1, REGDB_E_CLASSNOTREG, {}, REGDB_E_CLASSNOTREG, { false, false, false } },
    };
    const wchar_t* const expected[3] = { L"Default Web Site", L"c:\\inetpub\\wwwroot", L":80:" };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        m_script.results[L"GetData"] = rows[i].reads;
        m_script.createResult = rows[i].create;
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
    const struct
    {
        std::wstring root;
        HRESULT result;
    } rows[] = {
        { longest, S_OK },
        { longest + L"y", HR_INSUFFICIENT_BUFFER },
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        SetSiteValue(L"ROOT", MD_VR_PATH, STRING_METADATA, StringBytes(rows[i].root), METADATA_INHERIT);
        WCHAR root[kCells];
        std::fill(root, root + kCells, static_cast<WCHAR>(0xAAAA));
        EXPECT_EQ(rows[i].result, QuerySiteInfo(1, nullptr, root, nullptr)) << "row " << i;
        EXPECT_TRUE(SUCCEEDED(rows[i].result) ? longest == root && Untouched(root, SITE_VALUE_CCH) : Untouched(root))
            << "row " << i;
    }
    // A multi-string value whose first string fills the work buffer and has no terminator inside it.
    SetSiteValue(L"", MD_SERVER_BINDINGS, MULTISZ_METADATA, MultiStringBytes({ std::wstring(SITE_VALUE_CCH - 2, L'b') }),
                 METADATA_NO_ATTRIBUTES);
    WCHAR binding[kCells];
    std::fill(binding, binding + kCells, static_cast<WCHAR>(0xAAAA));
    EXPECT_EQ(S_OK, QuerySiteInfo(1, nullptr, nullptr, binding));
    EXPECT_EQ(std::wstring(SITE_VALUE_CCH - 2, L'b'), std::wstring(binding));
    EXPECT_TRUE(Untouched(binding, SITE_VALUE_CCH));
}

}   // namespace

}   // namespace zem::ui
