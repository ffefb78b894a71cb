// ZemWebSetup.exe doing its main job with nobody at the screen, driven from another process: started up
// to its main dialog, Install pressed and followed to the verdict, Exit pressed. zemdrive, the benchmark
// and the tests that drive the real program all go through here.
#pragma once

#include "UiDriver.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zem::ui {

struct InstallOptions
{
    std::wstring folder;    // typed into the web folder field first; empty: the one the dialog shows
    Millis timeout{120000}; // from pressing Install to the verdict
    // How often the boxes are looked for. Looking at another process's windows goes through the Wine
    // server that the deployment's file work needs too: a closer watch slows down what it watches.
    Millis poll{20};
    bool watchProgress = false; // note every progress position seen, at a message per look
    // Told about each message box before it is answered: a question (Yes goes on), or the verdict.
    std::function<void(const MessageBoxInfo& box, bool question)> onBox;
};

struct InstallResult
{
    std::string fault;             // empty when a verdict box came and Install came back after it
    std::wstring verdict;          // the verdict box's text
    std::wstring log;              // the log pane while the verdict showed
    std::vector<LRESULT> progress; // each position seen, in order, each once
    double seconds = 0;            // from pressing Install to the verdict
};

// The program started, up to its main dialog and idle there; each message box it showed before is kept
// and answered with its first button.
class Program
{
public:
    explicit Program(const std::wstring& exePath, const StartOptions& options = {}, Millis timeout = kWait);

    // Exit pressed: its exit code, or nothing when it still runs after the time-out.
    std::optional<DWORD> Exit(Millis timeout = kWait);

    DriverProcess process;
    HWND dialog = nullptr; // null when it did not come up
    std::vector<MessageBoxInfo> startBoxes;
};

// One Install in the program's dialog: pressed, each question answered Yes, the verdict read with the
// log and answered. A hung window raises DriverError; anything else that goes wrong is the fault.
InstallResult RunInstall(const Program& program, const InstallOptions& options = {});

} // namespace zem::ui
