// Text helpers shared by the program's parts: conversions between the system ANSI code page and UTF-16,
// the system's words for an error code, and the bounded quotation of a user's text in a message.
#pragma once

#include <windows.h>

#include <afxstr.h>

#include <string>

// CP_ACP to UTF-16 and back; a null or empty text gives the empty text.
std::wstring AnsiToWide(const char* pszText);
// Character for character, never a look-alike: a character the code page lacks becomes the system's
// default character ('?', which no file name may hold), and *pbExact, when asked for, tells whether any
// did. A path that came back inexact names no folder at all, never another one.
CString WideToAnsi(const wchar_t* pszText, bool* pbExact = nullptr);

// The system's text for an error code, in the user's language, with the line break system texts end
// with; empty when the system has none.
CString SystemErrorText(DWORD dwError);

// Longest quotation of a field that a message box is given: a box asked to draw tens of thousands of
// characters on one line fails inside the system.
const size_t MESSAGE_QUOTE_MAX = 300;

// The text as a message may quote it: unchanged up to cbMax bytes, else its first characters that fit in
// cbMax bytes (a double-byte character is never split) followed by "...".
CString QuoteForMessage(const char* pszText, size_t cbMax = MESSAGE_QUOTE_MAX);
