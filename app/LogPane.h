// The log pane's text handling, apart from the dialog so it can be exercised on its own.
#pragma once

#include <windows.h>
#include <stdarg.h>

enum { LOG_LINE_BUFFER = 32768 };   // a formatted line holds at most 32,767 bytes and its terminator

// The dialog's private message that appends the line in lParam on the UI thread.
const UINT WM_APPEND_LOG = WM_APP + 0x10;

// Formats into the zero-filled buffer, cutting at the buffer's end on a character boundary (a double-byte
// character is never split).
void FormatLogLine(char (&szLine)[LOG_LINE_BUFFER], const char* pszFormat, va_list args);

// Puts the line and CR LF after the pane's text, leaves the caret after it and scrolls it into view.
// Only the new text goes into the control, so the cost does not grow with the log.
void AppendLineToPane(HWND hEdit, const char* pszLine);
