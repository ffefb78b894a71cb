// The version resource: 21.0.0.1 for a Windows application, with text in each of the three languages.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "resource_access.h"

namespace zem::test {
namespace {

// The whole version block of this executable, as a program inspecting the file would read it.
std::vector<BYTE> VersionBlock() {
    WCHAR path[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return {};
    DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    if (!size) return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) return {};
    return block;
}

TEST(Version, SameResourceInAllThreeLanguages) {
    EXPECT_EQ(ResourceIds(RT_VERSION), (std::vector<WORD>{1}));
    EXPECT_EQ(ResourceLanguages(RT_VERSION, 1),
              (std::vector<WORD>{kLangChineseTraditional, kLangEnglishUS, kLangChineseSimplified}));
}

TEST(Version, FixedInformationSays21001ForAWindowsApplication) {
    std::vector<BYTE> block = VersionBlock();
    ASSERT_FALSE(block.empty()) << "error " << GetLastError();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 21));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 0));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 21));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1, 0));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched flags";
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(Version, EachTranslationHasItsStrings) {
    std::vector<BYTE> block = VersionBlock();
    ASSERT_FALSE(block.empty()) << "error " << GetLastError();
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                               &length));
    const Translation expected[] = {
        {kLangEnglishUS, 1200}, {kLangChineseSimplified, 1200}, {kLangChineseTraditional, 1200}};
    ASSERT_EQ(length, sizeof expected);
    for (size_t row = 0; row < std::size(expected); ++row) {
        EXPECT_EQ(translations[row].language, expected[row].language) << "row " << row;
        EXPECT_EQ(translations[row].codePage, expected[row].codePage) << "row " << row;

        // Every translation listed must have its string block, with the numbers matching the fixed information.
        struct Value {
            const wchar_t* name;
            const wchar_t* text;  // nullptr: wording free, but present
        };
        const Value values[] = {{L"FileVersion", L"21.0.0.1"}, {L"ProductVersion", L"21.0.0.1"},
                                {L"CompanyName", nullptr},     {L"FileDescription", nullptr},
                                {L"ProductName", nullptr},     {L"LegalCopyright", nullptr},
                                {L"InternalName", nullptr},    {L"OriginalFilename", nullptr}};
        for (const Value& value : values) {
            WCHAR query[96];
            swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", expected[row].language, expected[row].codePage,
                     value.name);
            wchar_t* text = nullptr;
            UINT chars = 0;
            ASSERT_TRUE(VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&text), &chars))
                << "row " << row << ", " << testing::PrintToString(std::wstring(query));
            ASSERT_NE(text, nullptr);
            if (value.text) {
                EXPECT_EQ(std::wstring(text), value.text) << "row " << row;
            } else {
                EXPECT_FALSE(std::wstring(text).empty()) << "row " << row;
            }
        }
    }
}

}  // namespace
}  // namespace zem::test
