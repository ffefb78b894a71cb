// The resources as linked into a program. The message catalogue, string block by string block: every text
// exists in all three languages, passes through its language's ANSI code page unharmed, and takes the same
// arguments in the same order in each, since one formatting call serves all three.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Language
{
    WORD id;
    const char* name;
    UINT codePage;
};

const Language kLanguages[] = {
    { MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "en-US", 1252 },
    { MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), "zh-CN", 936 },
    { MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), "zh-TW", 950 },
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

// The sixteen strings of one block in exactly one language (the platform's own lookup would fall back to
// another language); fewer when the block is cut short.
std::vector<std::wstring> StringBlock(WORD block, WORD language)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(block), language);
    const auto* p = info ? static_cast<const WCHAR*>(LockResource(LoadResource(module, info))) : nullptr;
    const WCHAR* end = p ? p + SizeofResource(module, info) / sizeof(WCHAR) : nullptr;
    std::vector<std::wstring> strings;
    while (p && p < end && strings.size() < 16 && p + 1 + *p <= end)
    {
        strings.emplace_back(p + 1, *p);
        p += 1 + *p;
    }
    return strings;
}

// "%s%d%s" for "Error %s, code %d: %s".
std::wstring Conversions(const std::wstring& text)
{
    std::wstring found;
    for (size_t at = text.find(L'%'); at != std::wstring::npos && at + 1 < text.size(); at = text.find(L'%', at + 2))
        found += text.substr(at, 2);
    return found;
}

// Strings 101 to 154 lie in blocks 7 to 10.
TEST(Catalogue, EveryTextInEachLanguageWithTheSameArgumentsAndNoLossInItsCodePage)
{
    int texts = 0;
    for (WORD block = 7; block <= 10; ++block)
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(block),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        std::sort(languages.begin(), languages.end());
        EXPECT_EQ(languages, (std::vector<WORD>{ kLanguages[2].id, kLanguages[0].id, kLanguages[1].id }))
            << "block " << block;
        std::vector<std::wstring> strings[3];
        for (size_t l = 0; l < 3; ++l)
        {
            strings[l] = StringBlock(block, kLanguages[l].id);
            ASSERT_EQ(strings[l].size(), 16u) << "block " << block << " " << kLanguages[l].name;
        }
        for (UINT slot = 0; slot < 16; ++slot)
        {
            const UINT id = (block - 1) * 16u + slot;
            texts += !strings[0][slot].empty();
            for (size_t l = 0; l < 3; ++l)
            {
                const std::wstring& text = strings[l][slot];
                EXPECT_EQ(text.empty(), strings[0][slot].empty()) << "string " << id << " " << kLanguages[l].name;
                EXPECT_EQ(Conversions(text), Conversions(strings[0][slot])) << "string " << id << " " << kLanguages[l].name;
                BOOL lossy = FALSE;
                WideCharToMultiByte(kLanguages[l].codePage, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr,
                                    &lossy);
                EXPECT_FALSE(lossy) << "string " << id << " " << kLanguages[l].name;
            }
        }
    }
    EXPECT_EQ(texts, 35) << "the catalogue holds 35 texts";
}

}   // namespace
