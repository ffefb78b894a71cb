// Site list, proposed folder, log line and client address of the real dialog, over a scripted metabase
// registered on the dialog's own thread.
#include "SiteAddress.h"
#include "fake_admin_base.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The dialog's run object, found as its hidden child window.
CDeployRun* DeployRunOf(HWND hDlg)
{
    CDeployRun* pRun = nullptr;
    ::EnumChildWindows(hDlg, [](HWND hWnd, LPARAM lParam) -> BOOL {
        *reinterpret_cast<CDeployRun**>(lParam) = dynamic_cast<CDeployRun*>(CWnd::FromHandlePermanent(hWnd));
        return *reinterpret_cast<CDeployRun**>(lParam) == nullptr;
    }, reinterpret_cast<LPARAM>(&pRun));
    return pRun;
}

void AddSite(FakeMetabase& m, int n, const wchar_t* description, const wchar_t* root, std::vector<std::wstring> bindings)
{
    const std::wstring key = L"/LM/W3SVC/" + std::to_wstring(n);
    m.SetMultiString(key, MD_SERVER_BINDINGS, bindings);
    if (description)
        m.SetString(key + L"/ROOT", MD_SERVER_COMMENT, description);
    m.SetString(key + L"/ROOT", MD_VR_PATH, root);
}

TEST(SiteSelection, ListsSitesUpToTheFirstGapAndFollowsTheChoice)
{
    FakeMetabase metabase;
    AddSite(metabase, 1, L"Default Web Site", L"D:\\", { L":80:", L":8080:" });
    AddSite(metabase, 2, L"Intranet", L"E:\\Intra", { L"192.0.2.5:8080:portal" });
    // No readable description: the one before is kept. A root the code page cannot spell is shown with
    // the default character, never turned into look-alike separators and dots.
    AddSite(metabase, 3, nullptr, L"F:\\a\uFF3C\uFF0E\uFF0E\uFF3Cevil", { L":81:" });
    AddSite(metabase, 5, L"After the gap", L"F:\\", { L":80:" });
    MainDialogRun run([&metabase] {
        struct Served
        {
            explicit Served(FakeMetabase& m) : registration(m) {}
            ComApartment apartment{ SUCCEEDED(::CoInitialize(nullptr)) };
            FakeAdminBaseRegistration registration;
        };
        return std::make_shared<Served>(metabase);
    });
    ASSERT_NE(nullptr, run.hDlg);
    HWND hCombo = ::GetDlgItem(run.hDlg, IDC_SITE);
    auto item = [&](int id) { return WindowTextAnsi(::GetDlgItem(run.hDlg, id)); };
    auto choose = [&](int index) {
        ::SendMessageA(hCombo, CB_SETCURSEL, index, 0);
        ::SendMessageA(run.hDlg, WM_COMMAND, MAKEWPARAM(IDC_SITE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hCombo));
    };
    std::vector<std::string> sites;
    for (int i = 0; i < ::SendMessageA(hCombo, CB_GETCOUNT, 0, 0); ++i)
    {
        char sz[512] = {};
        ::SendMessageA(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(sz));
        sites.push_back(sz);
    }
    EXPECT_TRUE(run.startupMessages.empty());
    EXPECT_EQ((std::vector<std::string>{ "Default Web Site", "Intranet", "Intranet" }), sites);
    EXPECT_EQ(0, ::SendMessageA(hCombo, CB_GETCURSEL, 0, 0));

    const std::string site1Line = Msg(IDS_SITE_ROOT_PATH, "D:\\") + "\r\n", site2Line = Msg(IDS_SITE_ROOT_PATH, "E:\\Intra") + "\r\n";
    const std::string site1Url = "http://" + std::string(GetComputerNameText()) + "/Zem/";
    EXPECT_EQ(site1Line, item(IDC_LOG));
    EXPECT_EQ("D:\\\\ZemWeb", item(IDC_WEB_FOLDER));   // a drive root doubles the backslash
    EXPECT_EQ(site1Url, item(IDC_SITE_LINK));
    // Lines of a run that still wait to be shown come before the line the dialog's own thread writes.
    CDeployRun* pRun = DeployRunOf(run.hDlg);
    ASSERT_NE(nullptr, pRun);
    static_cast<IDeployEvents*>(pRun)->LogLine("run line 1");
    static_cast<IDeployEvents*>(pRun)->LogLine("run line 2");
    const std::string runLines = "run line 1\r\nrun line 2\r\n";
    choose(1);
    EXPECT_EQ(site1Line + runLines + site2Line, item(IDC_LOG));
    EXPECT_EQ("E:\\Intra\\ZemWeb", item(IDC_WEB_FOLDER));
    EXPECT_EQ("http://portal:8080/Zem/", item(IDC_SITE_LINK));
    choose(2);
    const std::string site3Root = IsDoubleByteCodePage() ? "F:\\a\xA3\xDC\xA3\xAE\xA3\xAE\xA3\xDC" "evil" : "F:\\a????evil";
    EXPECT_EQ(site3Root + "\\ZemWeb", item(IDC_WEB_FOLDER));
    choose(0);   // each notification repeats the work, the same entry again as well
    choose(0);
    EXPECT_EQ(site1Line + runLines + site2Line + Msg(IDS_SITE_ROOT_PATH, site3Root.c_str()) + "\r\n" + site1Line + site1Line, item(IDC_LOG));
    EXPECT_EQ("D:\\\\ZemWeb", item(IDC_WEB_FOLDER));
    EXPECT_EQ(site1Url, item(IDC_SITE_LINK));
}

TEST(StartUp, ProposesThePackageBesideTheProgramOnlyWhenItIsThere)
{
    const std::string package = std::string(WideToAnsi(zem::ui::ExeFolder().c_str())) + Msg(IDS_PACKAGE_FILE_NAME);
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(package.c_str())) << "left over: " << package;
    {
        MainDialogRun run;
        ASSERT_NE(nullptr, run.hDlg);
        EXPECT_EQ("", WindowTextAnsi(::GetDlgItem(run.hDlg, IDC_PACKAGE)));
    }
    ASSERT_TRUE(WriteTextFile(package, "MZ"));
    {
        MainDialogRun run;
        EXPECT_EQ(package, WindowTextAnsi(::GetDlgItem(run.hDlg, IDC_PACKAGE)));
    }
    ::DeleteFileA(package.c_str());
}

} // namespace
