#include "MbcsPath.h"

char* FindCharMbcs(const char* text, int ch)
{
    if (!text)
        return nullptr;
    const char wanted = static_cast<char>(ch & 0xFF);
    const char* p = text;
    while (*p != '\0' && *p != wanted)
        p = ::CharNextA(p);
    return *p == wanted ? const_cast<char*>(p) : nullptr;
}

char* FindLastCharMbcs(const char* text, int ch)
{
    if (!text)
        return nullptr;
    const char wanted = static_cast<char>(ch & 0xFF);
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; p = ::CharNextA(p))
    {
        if (*p == wanted)
            last = p;
    }
    return const_cast<char*>(last);
}

BOOL FileExistsAtPath(const char* path)
{
    if (!path || *path == '\0')
        return FALSE;
    // A network path or a path from the root of the current drive is not accepted.
    if (FindCharMbcs(path, '\\') == path)
        return FALSE;
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
