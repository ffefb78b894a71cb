// Site list, proposed folder, log line and client address of the real dialog, over a scripted metabase
// registered on the dialog's own thread.
#include "fake_admin_base.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void AddSite(FakeMetabase& m, int n, const wchar_t* description, const wchar_t* root, std::vector<std::wstring> bindings)
{
    const std::wstring key = L"/LM/W3SVC/" + std::to_wstring(n);
    m.SetMultiString(key, MD_SERVER_BINDINGS, bindings);
    if (description)
        m.SetString(key + L"/ROOT", MD_SERVER_COMMENT, description);
    m.SetString(key + L"/ROOT", MD_VR_PATH, root);
}

std::shared_ptr<void> Serve(FakeMetabase& m)
{
    struct Served
    {
        explicit Served(FakeMetabase& m) : registration((::CoInitialize(nullptr), m)) {}
        ~Served() { ::CoUninitialize(); }
        FakeAdminBaseRegistration registration;
    };
    return std::make_shared<Served>(m);
}

CString Loaded(UINT nID, const char* value = nullptr)
{
    CString str;
    if (value)
        str.Format(nID, value);
    else
        str.LoadString(nID);
    return str;
}

std::string Computer()
{
    char szName[16] = {};
    DWORD cb = sizeof(szName);
    ::GetComputerNameA(szName, &cb);
    return szName;
}

class SiteSelection : public ::testing::Test
{
protected:
    std::vector<std::string> Sites() const
    {
        HWND hCombo = ::GetDlgItem(m_run->hDlg, IDC_SITE);
        std::vector<std::string> items;
        for (int i = 0; i < ::SendMessageA(hCombo, CB_GETCOUNT, 0, 0); ++i)
        {
            char sz[512] = {};
            ::SendMessageA(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(sz));
            items.push_back(sz);
        }
        return items;
    }
    std::string Item(int id) const { return WindowTextAnsi(::GetDlgItem(m_run->hDlg, id)); }
    void Choose(int index) const
    {
        HWND hCombo = ::GetDlgItem(m_run->hDlg, IDC_SITE);
        ::SendMessageA(hCombo, CB_SETCURSEL, index, 0);
        ::SendMessageA(m_run->hDlg, WM_COMMAND, MAKEWPARAM(IDC_SITE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hCombo));
    }
    void Start() { m_run = std::make_unique<MainDialogRun>([this] { return Serve(m_metabase); }); }

    FakeMetabase m_metabase;
    std::unique_ptr<MainDialogRun> m_run;
};

TEST_F(SiteSelection, ListsSitesUpToTheFirstGapAndProposesSiteOne)
{
    AddSite(m_metabase, 1, L"Default Web Site", L"D:\\", { L":80:", L":8080:" });
    AddSite(m_metabase, 2, L"Intranet", L"E:\\Intra", { L"192.0.2.5:8080:portal" });
    AddSite(m_metabase, 4, L"After the gap", L"F:\\", { L":80:" });
    Start();
    ASSERT_NE(nullptr, m_run->hDlg);

    EXPECT_TRUE(m_run->startupMessages.empty());
    EXPECT_EQ((std::vector<std::string>{ "Default Web Site", "Intranet" }), Sites());
    EXPECT_EQ(0, ::SendDlgItemMessageA(m_run->hDlg, IDC_SITE, CB_GETCURSEL, 0, 0));
    EXPECT_EQ("D:\\\\ZemWeb", Item(IDC_WEB_FOLDER));                       // a drive root doubles the backslash
    const std::string site1Line = std::string(Loaded(IDS_SITE_ROOT_PATH, "D:\\")) + "\r\n";
    EXPECT_EQ(site1Line, Item(IDC_LOG));
    EXPECT_EQ("http://" + Computer() + "/Zem/", Item(IDC_SITE_LINK));
    EXPECT_TRUE(m_run->dlg.load()->m_bWebServerFound);

    Choose(1);
    const std::string site2Line = std::string(Loaded(IDS_SITE_ROOT_PATH, "E:\\Intra")) + "\r\n";
    EXPECT_EQ(site1Line + site2Line, Item(IDC_LOG));
    EXPECT_EQ("E:\\Intra\\ZemWeb", Item(IDC_WEB_FOLDER));
    EXPECT_EQ("http://portal:8080/Zem/", Item(IDC_SITE_LINK));

    // Back to site 1, then the same entry again: each notification repeats the work.
    Choose(0);
    Choose(0);
    EXPECT_EQ(site1Line + site2Line + site1Line + site1Line, Item(IDC_LOG));
    EXPECT_EQ("D:\\\\ZemWeb", Item(IDC_WEB_FOLDER));
    EXPECT_EQ("http://" + Computer() + "/Zem/", Item(IDC_SITE_LINK));
}

TEST_F(SiteSelection, SiteWithoutReadableDescriptionKeepsThePreviousOne)
{
    AddSite(m_metabase, 1, L"Default Web Site", L"C:\\Inetpub\\wwwroot", { L":80:" });
    AddSite(m_metabase, 2, nullptr, L"E:\\", { L":81:" });
    Start();
    ASSERT_NE(nullptr, m_run->hDlg);
    EXPECT_EQ((std::vector<std::string>{ "Default Web Site", "Default Web Site" }), Sites());
    EXPECT_EQ("C:\\Inetpub\\wwwroot\\ZemWeb", Item(IDC_WEB_FOLDER));
}

} // namespace

namespace {

TEST(StartUp, ProposesThePackageBesideTheProgramOnlyWhenItIsThere)
{
    char szExe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::string package(szExe);
    package = package.substr(0, package.rfind('\\') + 1) + std::string(Loaded(IDS_PACKAGE_FILE_NAME));
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(package.c_str())) << "left over: " << package;
    {
        MainDialogRun run;
        ASSERT_NE(nullptr, run.hDlg);
        EXPECT_EQ("", WindowTextAnsi(::GetDlgItem(run.hDlg, IDC_PACKAGE)));
    }
    HANDLE h = ::CreateFileA(package.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ::CloseHandle(h);
    {
        MainDialogRun run;
        EXPECT_EQ(package, WindowTextAnsi(::GetDlgItem(run.hDlg, IDC_PACKAGE)));
    }
    ::DeleteFileA(package.c_str());
}

} // namespace
