// Small helpers shared by the in-process tests.
#pragma once

#include <windows.h>

// Whether the process runs in a double-byte code page (936, 950), where 0x5C can be a trail byte.
inline bool IsDoubleByteCodePage()
{
    CPINFO info = {};
    return ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
}

// A double-byte character whose trail byte is a backslash in both 936 and 950; two characters in 1252.
#define DBCS_5C "\xD5\x5C"

#include "UiDriver.h"

#include <functional>

// Top-level windows of one thread of this process that satisfy match.
inline HWND FindThreadWindow(DWORD threadId, const std::function<bool(HWND)>& match)
{
    struct Search { const std::function<bool(HWND)>* match; HWND found; } search = { &match, nullptr };
    ::EnumThreadWindows(threadId, [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lParam);
        if (::IsWindowVisible(hwnd) && (*s->match)(hwnd)) { s->found = hwnd; return FALSE; }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Reads a message box that has just shown. A thread that has not asked for a message for seconds counts
// as hung until the box's own loop runs, and the driver's messages to the box are refused until then.
inline zem::ui::MessageBoxInfo ReadNewMessageBox(HWND box)
{
    zem::ui::MessageBoxInfo info;
    zem::ui::WaitUntil([&] {
        try {
            info = zem::ui::ReadMessageBox(box);
            return true;
        } catch (const zem::ui::DriverError&) {
            return false;
        }
    });
    return info;
}

// Waits for a message box of that thread, reads it and presses the button; an empty caption and text
// when none came.
inline zem::ui::MessageBoxInfo AnswerMessageBox(DWORD threadId, int buttonId)
{
    HWND box = nullptr;
    zem::ui::WaitUntil([&] { return (box = FindThreadWindow(threadId, zem::ui::IsMessageBox)) != nullptr; });
    if (!box)
        return {};
    zem::ui::MessageBoxInfo info = ReadNewMessageBox(box);
    zem::ui::Answer(box, buttonId);
    return info;
}

#include "WebInstallDlg.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

inline std::string WindowTextAnsi(HWND hwnd)
{
    std::string text(static_cast<size_t>(::GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The real main dialog, run modally on a thread of its own (its UI thread) while the test thread plays
// the user or the deployment worker. A message box at start-up (no web server) is answered.
class MainDialogRun
{
public:
    // prepare runs on the dialog's thread before the dialog is made; what it returns lives until the
    // dialog has ended (a class object registered for that thread, say).
    explicit MainDialogRun(std::function<std::shared_ptr<void>()> prepare = nullptr)
    {
        m_ui = std::thread([this, prepare] {
            std::shared_ptr<void> prepared = prepare ? prepare() : nullptr;
            CWebInstallDlg dialog;
            dlg = &dialog;
            uiThreadId = ::GetCurrentThreadId();
            dialog.DoModal();
            dlg = nullptr;
        });
        HWND hFound = nullptr;
        zem::ui::WaitUntil([&] {
            if (uiThreadId == 0)
                return false;
            if (HWND box = FindThreadWindow(uiThreadId, zem::ui::IsMessageBox))
            {
                startupMessages.push_back(ReadNewMessageBox(box));
                zem::ui::Answer(box, IDOK);
            }
            hFound = FindThreadWindow(uiThreadId, [](HWND h) { return ::GetDlgItem(h, IDC_LOG) != nullptr; });
            return hFound != nullptr;
        });
        hDlg = hFound;
    }

    ~MainDialogRun()
    {
        if (hDlg)
            ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        if (m_ui.joinable())
            m_ui.join();
    }

    MainDialogRun(const MainDialogRun&) = delete;
    MainDialogRun& operator=(const MainDialogRun&) = delete;

    std::atomic<CWebInstallDlg*> dlg{nullptr};
    HWND hDlg = nullptr;
    std::vector<zem::ui::MessageBoxInfo> startupMessages;   // the boxes shown before the dialog came up
    std::atomic<DWORD> uiThreadId{0};

private:
    std::thread m_ui;
};
