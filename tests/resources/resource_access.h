// Raw access to the resources linked into the running test program, language by language.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace zem::test {

inline constexpr WORD kLangEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);                   // 1033
inline constexpr WORD kLangChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);   // 2052
inline constexpr WORD kLangChineseTraditional = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL); // 1028

struct ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// Types are the RT_ constants; every resource of this program has a number for its name.

// The resource in exactly this language. Callers first check with ResourceLanguages that the language is
// present, because the platform's lookup falls back to other languages when it is not.
std::optional<ResourceBytes> FindResourceBytes(LPCSTR type, WORD name, WORD language);

// Languages of one resource, sorted.
std::vector<WORD> ResourceLanguages(LPCSTR type, WORD name);

// Names of all resources of a type, sorted; a name given as a string is reported as 0.
std::vector<WORD> ResourceIds(LPCSTR type);

// The sixteen strings of a string-table block (strings 16 * (block - 1) to 16 * (block - 1) + 15), or
// nothing when the block is cut short.
std::optional<std::vector<std::wstring>> ReadStringBlock(const ResourceBytes& block);

}  // namespace zem::test
