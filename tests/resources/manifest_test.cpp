// The application manifest: administrator rights, the build's architecture, and the classic common controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resource_access.h"

namespace zem::test {
namespace {

#ifdef _WIN64
const char kArchitecture[] = "processorArchitecture=\"amd64\"";
#else
const char kArchitecture[] = "processorArchitecture=\"X86\"";
#endif

std::string ManifestText() {
    auto bytes = FindResourceBytes(RT_MANIFEST, 1, kLangEnglishUS);
    if (!bytes) return {};
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->size);
}

TEST(Manifest, OneManifestInEnglishOnly) {
    EXPECT_EQ(ResourceIds(RT_MANIFEST), (std::vector<WORD>{1}));
    EXPECT_EQ(ResourceLanguages(RT_MANIFEST, 1),
              (std::vector<WORD>{kLangEnglishUS}));
}

TEST(Manifest, DeclaresTheAssemblyAndRequiresAdministrator) {
    const std::string text = ManifestText();
    ASSERT_FALSE(text.empty());
    struct Row {
        const char* fragment;
        bool present;
    };
    const Row rows[] = {
        {"version=\"1.0.0.0\"", true},
        {kArchitecture, true},
        {"name=\"Corvane.ZEM.ZemWebSetup\"", true},
        {"type=\"win32\"", true},
        {"<description>Zem deploying for Web site.</description>", true},
        {"<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v2\">", true},
        {"level=\"requireAdministrator\"", true},
        {"uiAccess=\"false\"", true},
        // The dialog was laid out for the classic common controls.
        {"Microsoft.Windows.Common-Controls", false},
        {"<dependency", false},
    };
    for (size_t row = 0; row < std::size(rows); ++row)
        EXPECT_EQ(text.find(rows[row].fragment) != std::string::npos, rows[row].present)
            << "row " << row << ": " << rows[row].fragment;
}

TEST(Manifest, ProcessRunsWithTheClassicCommonControls) {
    // A dependency on version 6 would make the process's activation context redirect comctl32.dll to the
    // side-by-side copy.
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof data;
    BOOL redirected = FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                               L"comctl32.dll", &data);
    EXPECT_FALSE(redirected);
}

}  // namespace
}  // namespace zem::test
