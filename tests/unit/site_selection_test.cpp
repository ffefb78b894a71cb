// Site list, proposed folder, log line and client address of the real dialog, over a store of the test's
// own.
#include "SiteAddress.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The dialog's run object, found as its hidden child window.
CDeployRun* DeployRunOf(HWND hDlg)
{
    CDeployRun* pRun = nullptr;
    ::EnumChildWindows(
        hDlg, [](HWND hWnd, LPARAM lParam) -> BOOL {
            *reinterpret_cast<CDeployRun**>(lParam) = dynamic_cast<CDeployRun*>(CWnd::FromHandlePermanent(hWnd));
            return *reinterpret_cast<CDeployRun**>(lParam) == nullptr;
        },
        reinterpret_cast<LPARAM>(&pRun));
    return pRun;
}

// A site as IIS 6 writes it; a null description leaves it out.
std::string Site(int n, const char* description, const char* root, const char* bindings)
{
    const std::string key = "/LM/W3SVC/" + std::to_string(n);
    return "<IIsWebServer\tLocation =\"" + key + "\"\r\n\t\tServerBindings=\"" + bindings + "\"\r\n" +
           (description ? "\t\tServerComment=\"" + std::string(description) + "\"\r\n" : "") +
           "\t>\r\n</IIsWebServer>\r\n<IIsWebVirtualDir\tLocation =\"" + key + "/ROOT\"\r\n\t\tPath=\"" + root +
           "\"\r\n\t>\r\n</IIsWebVirtualDir>\r\n";
}

TEST(SiteSelection, ListsSitesUpToTheFirstGapAndFollowsTheChoice)
{
    const std::string store = FreshFolder("sites") + "MetaBase.xml";
    // No readable description: the one before is kept. A root the code page cannot spell is shown with
    // the default character, never turned into look-alike separators and dots.
    ASSERT_TRUE(WriteTextFile(store, "<?xml version =\"1.0\"?>\r\n<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">"
                                     "\r\n<MBProperty>\r\n" +
                                         Site(1, "Default Web Site", "D:\\", ":80:\r\n\t\t\t:8080:") +
                                         Site(2, "Intranet", "E:\\Intra", "192.0.2.5:8080:portal") +
                                         Site(3, nullptr, "F:\\a\xEF\xBC\xBC\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC"
                                                          "evil",
                                              ":81:") +
                                         Site(5, "After the gap", "F:\\", ":80:") + "</MBProperty>\r\n</configuration>\r\n"));
    ::SetEnvironmentVariableA("ZEM_METABASE_PATH", store.c_str());
    MainDialogRun run;
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
    const std::string site3Root = IsDoubleByteCodePage() ? "F:\\a\xA3\xDC\xA3\xAE\xA3\xAE\xA3\xDC"
                                                           "evil"
                                                         : "F:\\a????evil";
    EXPECT_EQ(site3Root + "\\ZemWeb", item(IDC_WEB_FOLDER));
    choose(0);   // each notification repeats the work, the same entry again as well
    choose(0);
    EXPECT_EQ(site1Line + runLines + site2Line + Msg(IDS_SITE_ROOT_PATH, site3Root.c_str()) + "\r\n" + site1Line + site1Line, item(IDC_LOG));
    EXPECT_EQ("D:\\\\ZemWeb", item(IDC_WEB_FOLDER));
    EXPECT_EQ(site1Url, item(IDC_SITE_LINK));
    ::SetEnvironmentVariableA("ZEM_METABASE_PATH", nullptr);
}

TEST(StartUp, ProposesThePackageBesideTheProgramOnlyWhenItIsThere)
{
    const std::string package = std::string(WideToAnsi(ExeFolder().c_str())) + Msg(IDS_PACKAGE_FILE_NAME);
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

}   // namespace
