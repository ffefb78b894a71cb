// The log pane's text handling, apart from the dialog so it can be exercised on its own.
#pragma once

#include <afxstr.h>

#include <stdarg.h>

#include <mutex>
#include <string>
#include <vector>

enum { LOG_LINE_BUFFER = 32768 };   // a formatted line holds at most 32,767 bytes and its terminator

// The dialog's private message that moves the queued log lines and progress positions to the controls.
const UINT WM_DRAIN_LOG = WM_APP + 0x10;

// Formats into the zero-filled buffer, cutting at the buffer's end on a character boundary (a double-byte
// character is never split).
void FormatLogLineV(char (&szLine)[LOG_LINE_BUFFER], const char* pszFormat, va_list args) AFX_PRINTF_FORMAT(2, 0);
void FormatLogLine(char (&szLine)[LOG_LINE_BUFFER], const char* pszFormat, ...) AFX_PRINTF_FORMAT(2, 3);

// Puts the text after the pane's text, leaves the caret after it and scrolls it into view. Only the new
// text goes into the control, so the cost does not grow with the log.
void AppendTextToPane(HWND hEdit, const char* pszText);

// Log lines and progress positions on their way from any thread to the controls, in the order they came.
// The thread that adds the first item after a drain is told so, and asks the UI thread for the next drain:
// one message for a whole batch, and a worker that never waits for the screen.
class CLogQueue
{
public:
    // Each returns TRUE when the queue was empty before.
    BOOL AddLine(const char* pszLine);
    BOOL AddProgress(UINT nPos);

    // On the UI thread: moves everything queued to the pane, all its lines in one piece of text, and to
    // the bar, which is set to every position in turn.
    void Drain(HWND hEdit, HWND hProgress);

private:
    struct Item
    {
        std::string strLine;   // with its CR LF; empty for a position
        UINT nPos;
    };
    BOOL Add(Item&& item);

    std::mutex m_mutex;
    std::vector<Item> m_items;
};
