// A file's size and SHA-256, from the platform's cryptography (bcrypt.dll).
#pragma once

#include <windows.h>

#include <afxstr.h>

struct FileDigest
{
    BOOL bPresent = FALSE;   // whether the file could be opened and read to its end
    ULONGLONG cbSize = 0;
    CString strSha256;   // 64 lower-case hexadecimal digits
};

FileDigest DigestFile(LPCSTR pszPath);
