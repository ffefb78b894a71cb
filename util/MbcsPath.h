// Routines on multibyte paths in the system ANSI code page. They step through a text one character at a
// time, so the trail byte of a double-byte character (0x5C in many code-page 936 characters) is never
// taken for the byte searched.
#pragma once

#include <windows.h>

// The first character of text whose first byte is the low byte of ch, or null; for ch 0, the terminator.
char* FindCharMbcs(const char* text, int ch);
// The last character of text whose first byte is the low byte of ch, or null (always null for ch 0).
char* FindLastCharMbcs(const char* text, int ch);
// Whether path may be used: not empty, not beginning with a backslash, and something exists there.
BOOL FileExistsAtPath(const char* path);
