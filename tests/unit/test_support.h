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

// Waits for a message box of that thread, reads it and presses the button; an empty caption and text
// when none came.
inline zem::ui::MessageBoxInfo AnswerMessageBox(DWORD threadId, int buttonId)
{
    HWND box = nullptr;
    zem::ui::WaitUntil([&] { return (box = FindThreadWindow(threadId, zem::ui::IsMessageBox)) != nullptr; });
    if (!box)
        return {};
    zem::ui::MessageBoxInfo info = zem::ui::ReadMessageBox(box);
    zem::ui::Answer(box, buttonId);
    return info;
}
