// The real ZemWebSetup.exe, driven from outside under Wine in the language given on the command line,
// always on its start without a web server.
//
// dialog_test --lang=en_US|zh_CN|zh_TW [GoogleTest options]: the language is given, not read from the
// system, so that a run whose locale did not take effect fails instead of passing three times in English.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>

#include "ProgramRun.h"
#include "resource.h"

namespace {

using namespace zem::ui;
using namespace std::chrono_literals;

const wchar_t kProgram[] = L"ZemWebSetup.exe";

struct Language
{
    const char* tag;
    LANGID uiLanguage;   // what the system must report for the program to pick this catalogue
    UINT codePage;       // the ANSI code page the program's texts pass through
};
const Language kLanguages[] = {
    { "en_US", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1252 },
    { "zh_CN", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 936 },
    { "zh_TW", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), 950 },
};
const Language* g_language = nullptr;

// The catalogue is linked into this test as well: once the system language is the one under test, the
// platform picks the same string table for both processes.
std::wstring Expected(UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

TEST(Environment, SystemLanguageIsTheOneUnderTest)
{
    EXPECT_EQ(GetUserDefaultUILanguage(), g_language->uiLanguage) << g_language->tag;
    EXPECT_EQ(GetACP(), g_language->codePage) << g_language->tag;
}

// The prefix is shared with the end-to-end runs, which may register the IIS stand-in and seed its default
// store; pointing the stand-in at a store that does not exist keeps every site unreadable here.
Program Open()
{
    StartOptions options;
    options.environment = { { L"ZEM_METABASE_PATH", PathArg(FreshFolder("no-store")).wide + L"MetaBase.xml" } };
    return Program(ExeFolder() + kProgram, options);
}

// Top-level windows of the program other than its main dialog (About box, pickers, message boxes).
std::vector<HWND> Others(const Program& s)
{
    std::vector<HWND> others;
    for (HWND hwnd : s.process.Windows())
        if (hwnd != s.dialog)
            others.push_back(hwnd);
    return others;
}

class MainDialog : public testing::Test
{
protected:
    void SetUp() override
    {
        session_.emplace(Open());
        ASSERT_NE(session_->dialog, nullptr) << "the main dialog did not show";
    }
    HWND Dialog() const { return session_->dialog; }
    std::optional<Program> session_;
};

// Told that there is no web server; every caption from the catalogue. The template's own texts differ on
// purpose (both Browse buttons say "&Browse", the labels lack the catalogue's wording), so a caption left
// unset shows up here.
TEST_F(MainDialog, StartsWithoutAWebServerInTheCataloguesWords)
{
    const auto& boxes = session_->startBoxes;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"ZemWebSetup");
    EXPECT_EQ(boxes[0].text, Expected(IDS_NO_WEB_SERVER));
    EXPECT_TRUE(boxes[0].hasIcon) << "a plain MB_OK box gets the exclamation icon";
    ASSERT_EQ(boxes[0].buttons.size(), 1u);
    EXPECT_EQ(boxes[0].buttons[0].first, IDOK);

    EXPECT_EQ(ItemText(Dialog(), IDC_LOG), Expected(IDS_NO_WEB_SERVER) + L"\r\n");
    HWND site = Item(Dialog(), IDC_SITE);
    wchar_t item[256] = {};
    EXPECT_EQ(Send(site, CB_GETCOUNT), 1);
    Send(site, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(item, Expected(IDS_NO_WEBSITE));
    EXPECT_EQ(Send(site, CB_GETCURSEL), 0);
    EXPECT_EQ(ItemText(Dialog(), IDC_WEB_FOLDER), L"");

    const struct
    {
        int control;
        UINT string;
    } rows[] = {
        // control 0: the dialog's title
        { 0, IDS_DIALOG_TITLE },
        { IDOK, IDS_INSTALL },
        { IDCANCEL, IDS_EXIT },
        { IDC_BROWSE_FOLDER, IDS_BROWSE_FOLDER },
        { IDC_BROWSE_PACKAGE, IDS_BROWSE_PACKAGE },
        { IDC_LABEL_PACKAGE, IDS_LABEL_PACKAGE },
        { IDC_LABEL_FOLDER, IDS_LABEL_FOLDER },
        { IDC_LABEL_SITE, IDS_LABEL_SITE },
        { IDC_LABEL_URL, IDS_LABEL_URL },
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        HWND window = rows[i].control ? Item(Dialog(), rows[i].control) : Dialog();
        EXPECT_EQ(Text(window), Expected(rows[i].string))
            << "row " << i << ": control " << rows[i].control << ", string " << rows[i].string;
    }
    // Enter in a field must not start an installation.
    EXPECT_EQ(Send(Dialog(), DM_GETDEFID), MAKELONG(IDCANCEL, DC_HASDEFID));

    // For a person to look at (the glyphs of each catalogue), not compared: artefacts/dialog-<language>.png.
    std::wstring artefacts = ExeFolder() + L"..\\artefacts\\";
    CreateDirectoryW(artefacts.c_str(), nullptr);
    BringToFront(Dialog());
    CapturePng(Dialog(), artefacts + L"dialog-" + std::wstring(g_language->tag, g_language->tag + 5) + L".png");
}

// The About item of the system menu cannot be read from another process; what it does can.
TEST_F(MainDialog, SystemMenuItemAndF1OpenTheAboutBox)
{
    const struct
    {
        const char* name;
        std::function<void()> open;
    } rows[] = {
        { "system menu About command", [&] { Post(Dialog(), WM_SYSCOMMAND, IDM_ABOUTBOX); } },
        { "F1", [&] { Press(Dialog(), { VK_F1 }); } },
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        rows[i].open();
        HWND about = session_->process.WaitWindow(L"#32770", L"About ZemWebSetup", 10s);
        ASSERT_NE(about, nullptr) << "row " << i << ": " << rows[i].name;
        EXPECT_EQ(GetWindow(about, GW_OWNER), Dialog()) << "row " << i << ": " << rows[i].name;
        EXPECT_FALSE(IsWindowEnabled(Dialog())) << "row " << i << ": the About box is not modal";
        EXPECT_EQ(Others(*session_), std::vector<HWND>{ about }) << "row " << i << ": " << rows[i].name;

        Click(Item(about, IDOK));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 10s)) << "row " << i << ": " << rows[i].name;
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Dialog()); }, 5s)) << "row " << i;
    }
    EXPECT_TRUE(session_->process.Running());
}

// Both Browse buttons carry "Browse" but not the same access key. Cancelling the picker a button opened
// gives the focus back to that button, so the focus tells which one was hit.
TEST_F(MainDialog, AltBAndAltWReachDifferentButtons)
{
    const struct
    {
        char name;
        int button;
    } rows[] = { { 'B', IDC_BROWSE_FOLDER }, { 'W', IDC_BROWSE_PACKAGE } };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        // Start each row from a control that is neither button.
        HWND log = Item(Dialog(), IDC_LOG);
        Send(Dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(log), TRUE);
        ASSERT_EQ(FocusOf(Dialog()), log) << "row " << i;

        Press(Dialog(), { static_cast<WORD>(rows[i].name), true });
        HWND button = Item(Dialog(), rows[i].button);
        // Either button opens its picker, which can take seconds to show (the folder browser reads every
        // drive first); one still on its way when the next row starts would take that row's focus.
        ASSERT_TRUE(WaitUntil([&] { return !Others(*session_).empty(); }, 20s))
            << "Alt+" << rows[i].name << " opened nothing";
        for (HWND picker : Others(*session_))
        {
            Post(picker, WM_COMMAND, IDCANCEL);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(picker) || !IsWindowVisible(picker); }, 10s))
                << "a window opened by Alt+" << rows[i].name << " did not cancel";
        }
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(Dialog()) == button; }, 5s))
            << "Alt+" << rows[i].name << " left the focus on control " << GetDlgCtrlID(FocusOf(Dialog()));
    }
}

TEST(MainDialogEnd, ExitEscAndCloseEndTheProcess)
{
    const struct
    {
        const char* name;
        std::function<void(HWND dialog)> end;
    } rows[] = {
        { "Exit button", [](HWND dialog) { Click(Item(dialog, IDCANCEL)); } },
        { "Esc key", [](HWND dialog) { Press(dialog, { VK_ESCAPE }); } },
        { "close command", [](HWND dialog) { Post(dialog, WM_CLOSE); } },
    };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        Program s = Open();
        ASSERT_NE(s.dialog, nullptr) << "row " << i << ": the main dialog did not show";
        rows[i].end(s.dialog);
        EXPECT_EQ(s.process.WaitExit(15s), std::optional<DWORD>(0)) << "row " << i << ": " << rows[i].name;
        EXPECT_FALSE(IsWindow(s.dialog)) << "row " << i << ": " << rows[i].name;
    }
}

}   // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        for (const Language& language : kLanguages)
            if (std::string(argv[i]) == std::string("--lang=") + language.tag)
                g_language = &language;
    if (!g_language)
    {
        std::fputs("usage: dialog_test --lang=en_US|zh_CN|zh_TW [GoogleTest options]\n", stderr);
        return 2;
    }
    return RUN_ALL_TESTS();
}
