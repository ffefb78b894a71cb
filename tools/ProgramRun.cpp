#include "ProgramRun.h"

#include <commctrl.h>

#include "resource.h"

namespace zem::ui {

using Clock = std::chrono::steady_clock;

Program::Program(const std::wstring& exePath, const StartOptions& options, Millis timeout)
    : process(DriverProcess::Start(exePath, options))
{
    dialog = WaitMainDialog(
        process,
        [this](HWND box) {
            startBoxes.push_back(ReadMessageBox(box));
            Answer(box, startBoxes.back().buttons.empty() ? IDOK : startBoxes.back().buttons.front().first);
        },
        timeout);
    if (dialog && !process.WaitIdle(timeout))
        dialog = nullptr;
}

std::optional<DWORD> Program::Exit(Millis timeout)
{
    if (dialog)
        Command(dialog, IDCANCEL);
    return process.WaitExit(timeout);
}

InstallResult RunInstall(const Program& program, const InstallOptions& options)
{
    InstallResult result;
    if (!program.dialog)
        return result.fault = "the main dialog did not come up", result;
    if (!options.folder.empty())
        Send(Item(program.dialog, IDC_WEB_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.folder.c_str()));
    HWND install = Item(program.dialog, IDOK);
    HWND progress = options.watchProgress ? Item(program.dialog, IDC_PROGRESS) : nullptr;
    const auto start = Clock::now();
    Click(install);
    bool verdict = false;
    WaitUntil(
        [&] {
            if (progress) {
                LRESULT position = Send(progress, PBM_GETPOS);
                if (result.progress.empty() || result.progress.back() != position)
                    result.progress.push_back(position);
            }
            for (HWND box : program.process.MessageBoxes()) {
                const auto seen = Clock::now();
                MessageBoxInfo info = ReadMessageBox(box);
                bool question = false;
                for (const auto& button : info.buttons)
                    question = question || button.first == IDYES;
                if (!question && !verdict) {
                    result.seconds = std::chrono::duration<double>(seen - start).count();
                    result.verdict = info.text;
                    result.log = ItemText(program.dialog, IDC_LOG);
                    verdict = true;
                }
                if (options.onBox)
                    options.onBox(info, question);
                Answer(box, question ? IDYES : info.buttons.front().first);
                WaitUntil([&] { return !IsWindow(box); }, kAnswer);
            }
            return verdict || !program.process.Running();
        },
        options.timeout, options.poll);
    if (!verdict) {
        // A crash is named by the test harness too (wine-run), which fails the test.
        result.fault = program.process.Running() ? "no verdict within " + std::to_string(options.timeout.count() / 1000) + " s"
                                                 : "the program ended by itself";
    } else if (!WaitUntil([&] { return IsWindowEnabled(install) != FALSE; }, Millis{10000})) {
        result.fault = "Install stayed disabled after the verdict";
    }
    return result;
}

} // namespace zem::ui
