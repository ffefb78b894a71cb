// zemdrive snapshot <png-path>
//
// Runs ZemWebSetup.exe from this program's folder without a person at the screen: answers the message
// boxes it shows at start with OK, photographs the settled main dialog, prints the log pane and leaves
// through Exit. Everything it prints is UTF-8, for the Unix terminal that started Wine.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "UiDriver.h"
#include "resource.h"

namespace {

using namespace zem::ui;
using namespace std::chrono_literals;

// Time for the program to come up, including Wine's own start in a prefix that was just created.
constexpr Millis kStartUp{60000};

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

void Print(const std::wstring& text)
{
    std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// Message-box text shown on one line, so that each box is one line of the report.
std::wstring OneLine(std::wstring text)
{
    for (auto& c : text)
        if (c == L'\n') c = L'|';
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'\r') out += c;
    return out;
}

int Fail(const std::wstring& why)
{
    std::string bytes = "zemdrive: " + Utf8(why) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    return 2;
}

int Snapshot(const std::wstring& pngPath)
{
    DriverProcess program = DriverProcess::StartBeside(L"ZemWebSetup.exe");

    // Zero or more boxes come before the dialog shows.
    HWND dialog = WaitMainDialog(
        program,
        [](HWND box) {
            MessageBoxInfo info = ReadMessageBox(box);
            Print(L"message box [" + info.caption + L"]" + (info.hasIcon ? L" (icon)" : L"") + L": " +
                  OneLine(info.text) + L"\n");
            int choice = info.buttons.empty() ? IDOK : info.buttons.front().first;
            for (const auto& button : info.buttons)
                if (button.first == IDOK) choice = IDOK;
            Answer(box, choice);
        },
        kStartUp);
    if (!program.Running()) {
        auto code = program.WaitExit(0ms);
        return Fail(L"ZemWebSetup.exe ended during start-up with exit code " + std::to_wstring(code.value_or(0)));
    }
    if (!dialog) return Fail(L"time-out: the main dialog did not show within 60 s");
    if (!program.WaitIdle(10s)) return Fail(L"time-out: the main dialog does not become idle");

    BringToFront(dialog);
    CapturePng(dialog, pngPath);
    Print(L"dialog [" + Text(dialog) + L"]\n");
    Print(L"screenshot: " + pngPath + L"\n");
    Print(L"log:\n" + ItemText(dialog, IDC_LOG) + L"\n");

    Click(Item(dialog, IDCANCEL));
    auto code = program.WaitExit(15s);
    if (!code) return Fail(L"time-out: ZemWebSetup.exe did not end after Exit");
    Print(L"exit code " + std::to_wstring(*code) + L"\n");
    return *code == 0 ? 0 : 3;
}

}  // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3 || std::wstring(argv[1]) != L"snapshot") {
        std::fputs("usage: zemdrive snapshot <png-path>\n", stderr);
        return 1;
    }
    std::wstring path = argv[2];
    LocalFree(argv);
    try {
        return Snapshot(path);
    } catch (const DriverError& e) {
        std::fprintf(stderr, "zemdrive: %s\n", e.what());
        return 2;
    }
}
