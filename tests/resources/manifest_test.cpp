// The application manifest: administrator rights, the build's own architecture, the classic common controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

#ifdef _WIN64
const char kArchitecture[] = "processorArchitecture=\"amd64\"";
#else
const char kArchitecture[] = "processorArchitecture=\"X86\"";
#endif

TEST(Manifest, RequiresAdministratorForThisArchitecture)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));   // RT_MANIFEST
    ASSERT_NE(info, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(module, info))),
                           SizeofResource(module, info));
    // The wrong architecture keeps the program from starting at all on Windows.
    const struct { const char* fragment; bool present; } rows[] = {
        {kArchitecture, true},
        {"level=\"requireAdministrator\"", true},
        {"Microsoft.Windows.Common-Controls", false},   // the dialog is laid out for the classic controls
    };
    for (size_t row = 0; row < std::size(rows); ++row)
        EXPECT_EQ(text.find(rows[row].fragment) != std::string::npos, rows[row].present)
            << "row " << row << ": " << rows[row].fragment;
}

}  // namespace
