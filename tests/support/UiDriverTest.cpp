// The driver against zemprobe, whose behaviour is known: if these fail, a dialog test failure says nothing
// about the program under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "UiDriver.h"
#include "zemprobe.h"

namespace {

using namespace zem::ui;
using namespace std::chrono_literals;

const wchar_t kProbe[] = L"zemprobe.exe";
const wchar_t kProbeTitle[] = L"\u63A2\u9488 Probe";

// Gets the probe past its start-up boxes and returns its dialog, counting the boxes.
HWND OpenProbe(const DriverProcess& probe, int* boxes = nullptr)
{
    int seen = 0;
    HWND dialog = WaitMainDialog(probe, [&](HWND box) {
        ++seen;
        Answer(box, IDOK);
    });
    if (boxes) *boxes = seen;
    return dialog;
}

TEST(UiDriver, ReadsAndAnswersMessageBoxes)
{
    DriverProcess probe = DriverProcess::StartBeside(kProbe);
    struct Expected {
        const wchar_t* text;
        bool icon;
        std::vector<int> buttons;
        int answer;
    } rows[] = {
        {L"Probe line one\nProbe line two", true, {IDOK, IDCANCEL}, IDCANCEL},
        {L"Second", false, {IDOK}, IDOK},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        HWND box = probe.WaitMessageBox();
        ASSERT_NE(box, nullptr) << "row " << i;
        EXPECT_EQ(probe.MessageBoxes().size(), 1u) << "row " << i;
        MessageBoxInfo info = ReadMessageBox(box);
        EXPECT_EQ(info.caption, L"ZemProbe") << "row " << i;
        EXPECT_EQ(info.text, rows[i].text) << "row " << i;
        EXPECT_EQ(info.hasIcon, rows[i].icon) << "row " << i;
        std::vector<int> ids;
        for (const auto& button : info.buttons) ids.push_back(button.first);
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, rows[i].buttons) << "row " << i;
        Answer(box, rows[i].answer);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "row " << i;
    }
    HWND dialog = probe.WaitWindow(L"#32770", kProbeTitle);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsMessageBox(dialog));
    // The probe logs the first box's answer: Cancel must have been the button pressed.
    EXPECT_EQ(ItemText(dialog, IDC_PROBE_LOG), L"answer=2\r\n");
    EXPECT_THROW(Answer(dialog, IDRETRY), DriverError);
}

TEST(UiDriver, ReadsControlsStylesAndFocus)
{
    DriverProcess probe = DriverProcess::StartBeside(kProbe);
    int boxes = 0;
    HWND dialog = OpenProbe(probe, &boxes);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(Text(dialog), kProbeTitle);
    EXPECT_EQ(ItemText(dialog, IDC_PROBE_LOG), L"answer=1\r\n");
    ASSERT_TRUE(probe.WaitIdle());

    EXPECT_EQ(ComboItems(Item(dialog, IDC_PROBE_LIST)), (std::vector<std::wstring>{L"alpha", L"\u03B2\u6D4B\u8BD5"}));
    EXPECT_EQ(ItemText(dialog, IDC_PROBE_FIRST), L"&Browse");
    EXPECT_EQ(TextAnsi(Item(dialog, IDC_PROBE_SECOND)), "Bro&wse");
    EXPECT_EQ(Style(Item(dialog, IDCANCEL)) & 0x0F, BS_DEFPUSHBUTTON);
    EXPECT_EQ(Style(Item(dialog, IDOK)) & 0x0F, BS_PUSHBUTTON);
    EXPECT_THROW(Item(dialog, 4242), DriverError);
    // The first control in tab order gets the focus when a dialog opens.
    EXPECT_EQ(FocusOf(dialog), Item(dialog, IDC_PROBE_LIST));
}

TEST(UiDriver, PassesEnvironmentAndWorkingFolder)
{
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    StartOptions options;
    options.workingDir = windows;
    options.environment = {{L"ZEM_PROBE_TITLE", L"Probe with a title \u00E9"}};
    DriverProcess probe = DriverProcess::StartBeside(kProbe, options);
    HWND dialog = OpenProbe(probe);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog), L"Probe with a title \u00E9");
    EXPECT_EQ(ItemText(dialog, IDC_PROBE_FOLDER), windows);
}

// Each way of pressing keys, checked by what the probe logged and where the focus went.
TEST(UiDriver, KeysReachTheDialog)
{
    DriverProcess probe = DriverProcess::StartBeside(kProbe);
    HWND dialog = OpenProbe(probe);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(probe.WaitIdle());

    struct Row {
        const char* name;
        std::function<void()> press;
        int focus;
        const wchar_t* logged;
    } rows[] = {
        {"posted Alt+B", [&] { PostAltLetter(dialog, L'b'); }, IDC_PROBE_FIRST, L"click 1006\r\n"},
        {"posted Alt+W", [&] { PostAltLetter(dialog, L'W'); }, IDC_PROBE_SECOND, L"click 1008\r\n"},
        {"input Alt+B", [&] { Press(dialog, {'B', true}); }, IDC_PROBE_FIRST, L"click 1006\r\n"},
        {"input Alt+W", [&] { Press(dialog, {'W', true}); }, IDC_PROBE_SECOND, L"click 1008\r\n"},
    };
    std::wstring log = ItemText(dialog, IDC_PROBE_LOG);
    for (size_t i = 0; i < std::size(rows); ++i) {
        rows[i].press();
        HWND target = Item(dialog, rows[i].focus);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == target; }, 5s)) << rows[i].name;
        log += rows[i].logged;
        EXPECT_TRUE(WaitUntil([&] { return ItemText(dialog, IDC_PROBE_LOG) == log; }, 5s))
            << rows[i].name << ": log is " << testing::PrintToString(ItemText(dialog, IDC_PROBE_LOG));
        log = ItemText(dialog, IDC_PROBE_LOG);
    }
}

TEST(UiDriver, F1AndSystemMenuOpenTheAboutBox)
{
    DriverProcess probe = DriverProcess::StartBeside(kProbe);
    HWND dialog = OpenProbe(probe);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(probe.WaitIdle());
    struct Row {
        const char* name;
        std::function<void()> open;
    } rows[] = {
        {"F1", [&] { Press(dialog, {VK_F1}); }},
        {"system menu", [&] { Post(dialog, WM_SYSCOMMAND, IDM_PROBE_ABOUT); }},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        rows[i].open();
        HWND about = probe.WaitWindow(L"#32770", L"About ZemProbe", 10s);
        ASSERT_NE(about, nullptr) << rows[i].name;
        EXPECT_FALSE(IsMessageBox(about)) << rows[i].name;
        EXPECT_EQ(GetWindow(about, GW_OWNER), dialog) << rows[i].name;
        Click(Item(about, IDOK));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); })) << rows[i].name;
        EXPECT_TRUE(IsWindowEnabled(dialog)) << rows[i].name;
    }
}

TEST(UiDriver, CapturesAWindowAsPng)
{
    DriverProcess probe = DriverProcess::StartBeside(kProbe);
    HWND dialog = OpenProbe(probe);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(probe.WaitIdle());
    ASSERT_TRUE(BringToFront(dialog));

    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"zpr", 0, path), 0u);
    CapturePng(dialog, path);

    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file.close();
    DeleteFileW(path);
    ASSERT_GT(png.size(), 33u);
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(std::begin(signature), std::end(signature), png.begin()));
    auto be32 = [&](size_t at) { return png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]; };
    RECT rc{};
    GetWindowRect(dialog, &rc);
    EXPECT_EQ(be32(16), rc.right - rc.left);   // IHDR width
    EXPECT_EQ(be32(20), rc.bottom - rc.top);   // IHDR height
}

TEST(UiDriver, ExitCodeAndCleanUp)
{
    DWORD keptId = 0;
    HANDLE kept = nullptr;
    {
        DriverProcess probe = DriverProcess::StartBeside(kProbe);
        keptId = probe.Id();
        kept = OpenProcess(SYNCHRONIZE, FALSE, keptId);
        ASSERT_NE(kept, nullptr);
        ASSERT_NE(probe.WaitMessageBox(), nullptr);
        EXPECT_FALSE(probe.WaitExit(0ms).has_value());
    }
    // Leaving the scope with the probe still at its first box must have ended it.
    EXPECT_EQ(WaitForSingleObject(kept, 5000), WAIT_OBJECT_0);
    CloseHandle(kept);

    DriverProcess probe = DriverProcess::StartBeside(kProbe);
    HWND dialog = OpenProbe(probe);
    ASSERT_NE(dialog, nullptr);
    Command(dialog, IDCANCEL);
    EXPECT_EQ(probe.WaitExit(), std::optional<DWORD>(PROBE_EXIT_CODE));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(probe.Running());
    EXPECT_THROW(DriverProcess::StartBeside(L"no-such-program.exe"), DriverError);
}

}  // namespace
