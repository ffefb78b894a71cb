// The real program over a metabase that holds web sites: the stand-in's store is seeded with mdutil, as
// an administrator's IIS would hold them, and the program is started on it.
#include <gtest/gtest.h>

#include "Catalogue.h"
#include "UiDriver.h"
#include "resource.h"

namespace {

using namespace zem::ui;
using namespace zem::dialogtest;

// Catalogue string 113 with the root folder in place of its placeholder, and the line end.
std::wstring RootLine(const std::wstring& root)
{
    std::wstring line = CatalogueText(IDS_SITE_ROOT_PATH, CurrentLanguage());
    line.replace(line.find(L"%s"), 2, root);
    return line + L"\r\n";
}

std::wstring Computer()
{
    wchar_t name[16] = {};
    DWORD size = 16;
    GetComputerNameW(name, &size);
    return name;
}

class SitesDialog : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"zem-dialog-sites-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        options_.environment = {{L"ZEM_METABASE_PATH", folder_ + L"\\MetaBase.xml"}};
        Seed(L"add-site 1 \"Default Web Site\" D:\\ :80: :8080:");
        Seed(L"add-site 2 Intranet E:\\Intra 192.0.2.5:8080:portal");
    }
    void TearDown() override
    {
        DeleteFileW((folder_ + L"\\MetaBase.xml").c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    void Seed(const std::wstring& arguments)
    {
        StartOptions options = options_;
        options.arguments = arguments;
        DriverProcess mdutil = DriverProcess::StartBeside(L"mdutil.exe", options);
        ASSERT_EQ(std::optional<DWORD>(0), mdutil.WaitExit()) << "mdutil " << std::string(arguments.begin(), arguments.end());
    }
    void Choose(HWND dialog, int index)
    {
        HWND combo = Item(dialog, IDC_SITE);
        Send(combo, CB_SETCURSEL, index);
        Send(dialog, WM_COMMAND, MAKEWPARAM(IDC_SITE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }

    std::wstring folder_;
    StartOptions options_;
};

TEST_F(SitesDialog, ListsTheSitesAndFollowsTheChoice)
{
    DriverProcess program = DriverProcess::StartBeside(L"ZemWebSetup.exe", options_);
    int boxes = 0;
    HWND dialog = WaitMainDialog(program, [&](HWND box) { ++boxes; Answer(box, IDOK); });
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(0, boxes);   // a web server was found: nothing to tell at start-up

    EXPECT_EQ((std::vector<std::wstring>{L"Default Web Site", L"Intranet"}), ComboItems(Item(dialog, IDC_SITE)));
    EXPECT_EQ(0, Send(Item(dialog, IDC_SITE), CB_GETCURSEL));
    EXPECT_EQ(L"D:\\\\ZemWeb", ItemText(dialog, IDC_WEB_FOLDER));
    EXPECT_EQ(RootLine(L"D:\\"), ItemText(dialog, IDC_LOG));
    EXPECT_EQ(L"http://" + Computer() + L"/Zem/", ItemText(dialog, IDC_SITE_LINK));

    Choose(dialog, 1);
    EXPECT_EQ(L"E:\\Intra\\ZemWeb", ItemText(dialog, IDC_WEB_FOLDER));
    EXPECT_EQ(L"http://portal:8080/Zem/", ItemText(dialog, IDC_SITE_LINK));
    Choose(dialog, 0);
    EXPECT_EQ(L"D:\\\\ZemWeb", ItemText(dialog, IDC_WEB_FOLDER));
    EXPECT_EQ(L"http://" + Computer() + L"/Zem/", ItemText(dialog, IDC_SITE_LINK));
    EXPECT_EQ(RootLine(L"D:\\") + RootLine(L"E:\\Intra") + RootLine(L"D:\\"), ItemText(dialog, IDC_LOG));

    Command(dialog, IDCANCEL);
    EXPECT_EQ(std::optional<DWORD>(0), program.WaitExit());
}

}  // namespace
