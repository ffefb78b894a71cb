// How the cost of one log line grows with the log: the pane's way (add the new line at the end) against
// rewriting the whole text for every line. Prints the cost of a late line as a multiple of an early one.
#include "LogPane.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

void AppendByRewrite(HWND hEdit, const char* pszLine)
{
    std::string text(static_cast<size_t>(::GetWindowTextLengthA(hEdit)) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(hEdit, &text[0], static_cast<int>(text.size()))));
    text += pszLine;
    text += "\r\n";
    ::SendMessageA(hEdit, EM_SETSEL, 0, -1);
    ::SendMessageA(hEdit, EM_SCROLLCARET, 0, 0);
    ::SendMessageA(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

// Microseconds per line for `count` lines appended after the pane already holds `before` lines.
double MicrosPerLine(void (*append)(HWND, const char*), int before, int count)
{
    // The log pane's own styles, on a window of the log's size.
    HWND hEdit = ::CreateWindowExA(0, "EDIT", "", (0x50B108C4 & ~WS_CHILD) | WS_POPUP, 0, 0, 600, 180,
                                   nullptr, nullptr, nullptr, nullptr);
    ::SendMessageA(hEdit, EM_SETLIMITTEXT, 0, 0);
    const char* line = "C:\\Inetpub\\wwwroot\\ZemWeb\\images\\download-button.gif";
    for (int i = 0; i < before; ++i)
        AppendLineToPane(hEdit, line);
    auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        append(hEdit, line);
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
    ::DestroyWindow(hEdit);
    return us;
}

} // namespace

int main()
{
    const int kLines = 20;
    const int kLong = 1500;
    struct { const char* name; void (*append)(HWND, const char*); } ways[] = {
        { "append at end (pane)", &AppendLineToPane },
        { "rewrite whole text", &AppendByRewrite },
    };
    for (const auto& way : ways)
    {
        double early = MicrosPerLine(way.append, 0, kLines);
        double late = MicrosPerLine(way.append, kLong, kLines);
        std::printf("%-22s %8.0f us/line at 0 lines, %8.0f us/line at %d lines: ratio %.1f\n", way.name, early, late,
                    kLong, late / early);
    }
    return 0;
}
