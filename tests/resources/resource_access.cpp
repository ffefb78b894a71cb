#include "resource_access.h"

#include <algorithm>
#include <cstring>

namespace zem::test {

namespace {

LPCWSTR Wide(LPCSTR intResource) { return MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(intResource)); }

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(
        IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)) : 0);
    return TRUE;
}

}  // namespace

std::optional<ResourceBytes> FindResourceBytes(LPCSTR type, WORD name, WORD language) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceExW(module, Wide(type), MAKEINTRESOURCEW(name), language);
    if (!info) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded) return std::nullopt;
    return ResourceBytes{static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, info)};
}

std::vector<WORD> ResourceLanguages(LPCSTR type, WORD name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(GetModuleHandleW(nullptr), Wide(type), MAKEINTRESOURCEW(name), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::vector<WORD> ResourceIds(LPCSTR type) {
    std::vector<WORD> ids;
    EnumResourceNamesW(GetModuleHandleW(nullptr), Wide(type), CollectName, reinterpret_cast<LONG_PTR>(&ids));
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::optional<std::vector<std::wstring>> ReadStringBlock(const ResourceBytes& block) {
    // Each of the sixteen entries is a character count followed by that many UTF-16 units, unterminated.
    std::vector<std::wstring> strings;
    const BYTE* p = block.data;
    const BYTE* end = block.data + block.size;
    for (int i = 0; i < 16; ++i) {
        if (end - p < static_cast<ptrdiff_t>(sizeof(WORD))) return std::nullopt;
        WORD length;
        memcpy(&length, p, sizeof length);
        p += sizeof length;
        if (end - p < static_cast<ptrdiff_t>(length * sizeof(WCHAR))) return std::nullopt;
        std::wstring text(length, L'\0');
        memcpy(text.data(), p, length * sizeof(WCHAR));
        p += length * sizeof(WCHAR);
        strings.push_back(std::move(text));
    }
    return strings;
}

}  // namespace zem::test
