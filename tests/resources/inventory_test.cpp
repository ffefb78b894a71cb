// What the resources hold as a whole: nothing beyond the program's own kinds of resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

namespace zem::test {
namespace {

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR param) {
    // A type given by name would be foreign to this program; it is recorded as 0.
    reinterpret_cast<std::vector<ULONG_PTR>*>(param)->push_back(
        IS_INTRESOURCE(type) ? reinterpret_cast<ULONG_PTR>(type) : 0);
    return TRUE;
}

TEST(Inventory, OnlyTheProgramsResourceTypes) {
    std::vector<ULONG_PTR> types;
    EnumResourceTypesW(GetModuleHandleW(nullptr), CollectType, reinterpret_cast<LONG_PTR>(&types));
    std::sort(types.begin(), types.end());
    const std::vector<ULONG_PTR> expected = {
        reinterpret_cast<ULONG_PTR>(RT_ICON),       reinterpret_cast<ULONG_PTR>(RT_DIALOG),
        reinterpret_cast<ULONG_PTR>(RT_STRING),     reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON),
        reinterpret_cast<ULONG_PTR>(RT_VERSION),    reinterpret_cast<ULONG_PTR>(RT_MANIFEST)};
    EXPECT_EQ(types, expected);
}

}  // namespace
}  // namespace zem::test
