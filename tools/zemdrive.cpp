// zemdrive install <program.exe> [--site <n>] [--shots <png path prefix>]
//
// Does the program's main job without a person at the screen: starts it, answers the message boxes it
// shows at start with OK, selects site n (default: the first), photographs the dialog (<prefix>-before.png),
// presses Install, answers a question with Yes, notes every progress position it sees, answers the
// verdict, photographs the result (<prefix>-after.png), prints the log pane and leaves through Exit.
// Everything it prints is UTF-8, for the Unix terminal that started Wine. Exit status 0 only when the
// verdict is the program's own "Setup finished." (in the language the program speaks).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "resource.h"

namespace {

using namespace zem::ui;
using namespace std::chrono_literals;

// Time for the program to come up, including Wine's own start in a prefix that was just created.
constexpr Millis kStartUp{60000};
// A whole deployment copies a few files; a run that takes longer than this is stuck.
constexpr Millis kDeployment{120000};

void Print(const std::wstring& text)
{
    std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// Message-box text shown on one line, so that each box is one line of the report.
std::wstring OneLine(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'\r')
            out += c == L'\n' ? L'|' : c;
    return out;
}

int Fail(const std::wstring& why)
{
    std::string bytes = "zemdrive: " + Utf8(why) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    return 2;
}

void Shot(HWND dialog, const std::wstring& prefix, const wchar_t* moment)
{
    if (prefix.empty())
        return;
    BringToFront(dialog);
    CapturePng(dialog, prefix + moment);
    Print(L"screenshot: " + prefix + moment + L"\n");
}

int Install(const std::wstring& exePath, int site, const std::wstring& shots)
{
    Program program(exePath, {}, kStartUp);
    for (const MessageBoxInfo& info : program.startBoxes)
        Print(L"message box at start [" + info.caption + L"]: " + OneLine(info.text) + L"\n");
    HWND dialog = program.dialog;
    if (!dialog)
        return Fail(L"time-out: the main dialog did not show within 60 s");

    if (site > 1) {
        HWND combo = Item(dialog, IDC_SITE);
        if (Send(combo, CB_SETCURSEL, site - 1) == CB_ERR)
            return Fail(L"the site list has no site " + std::to_wstring(site));
        // Sent, not posted: the fields are read next, and a wait for idleness is answered before a posted
        // message is handled. Choosing a site opens no window, so the send cannot block on one.
        Send(dialog, WM_COMMAND, MAKEWPARAM(IDC_SITE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }
    Print(L"dialog [" + Text(dialog) + L"]\nsite: " + ItemText(dialog, IDC_SITE) + L"\nfolder: " +
          ItemText(dialog, IDC_WEB_FOLDER) + L"\npackage: " + ItemText(dialog, IDC_PACKAGE) + L"\nlink: " +
          ItemText(dialog, IDC_SITE_LINK) + L"\n");
    Shot(dialog, shots, L"-before.png");

    InstallOptions options;
    options.timeout = kDeployment;
    options.poll = Millis{2}; // every position the bar passes through
    options.watchProgress = true;
    options.onBox = [](const MessageBoxInfo& info, bool question) {
        Print(L"message box [" + info.caption + L"]: " + OneLine(info.text) + (question ? L" -> Yes\n" : L"\n"));
    };
    InstallResult run = RunInstall(program, options);
    std::wstring positions;
    for (LRESULT p : run.progress)
        positions += (positions.empty() ? L"" : L" ") + std::to_wstring(p);
    Print(L"progress seen: " + positions + L"\n");
    if (!run.fault.empty())
        return Fail(std::wstring(run.fault.begin(), run.fault.end()));
    Print(L"verdict: " + run.verdict + L"\n");
    Shot(dialog, shots, L"-after.png");
    Print(L"log:\n" + ItemText(dialog, IDC_LOG) + L"\n");

    auto code = program.Exit(15s);
    if (!code)
        return Fail(L"time-out: the program did not end after Exit");
    if (*code != 0)
        return Fail(L"the program ended with exit code " + std::to_wstring(*code));
    return run.verdict == ProgramString(exePath, IDS_SETUP_FINISHED) ? 0 : 3;
}

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv, argv + argc);
    LocalFree(argv);
    int site = 1;
    std::wstring shots;
    bool usage = args.size() < 3 || args[1] != L"install";
    for (size_t i = 3; !usage && i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            usage = true;
        else if (args[i] == L"--site")
            site = _wtoi(args[i + 1].c_str());
        else if (args[i] == L"--shots")
            shots = args[i + 1];
        else
            usage = true;
    }
    if (usage || site < 1) {
        std::fputs("usage: zemdrive install <program.exe> [--site <n>] [--shots <png path prefix>]\n", stderr);
        return 1;
    }
    try {
        return Install(args[2], site, shots);
    } catch (const DriverError& e) {
        std::fprintf(stderr, "zemdrive: %s\n", e.what());
        return 2;
    }
}
