// The application icon: one group, two 16-colour images, and the platform able to load either size.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "resource.h"
#include "resource_access.h"

namespace zem::test {
namespace {

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

struct ExpectedImage {
    int size;
    DWORD bytes;  // header 40 + palette 64 + 4-bit colour rows + 1-bit mask rows, rows padded to DWORDs
};
const ExpectedImage kImages[] = {{32, 744}, {16, 296}};

std::vector<GroupIconEntry> ReadGroup() {
    auto bytes = FindResourceBytes(RT_GROUP_ICON, IDR_MAINFRAME, kLangChineseSimplified);
    if (!bytes || bytes->size < sizeof(GroupIconHeader)) return {};
    GroupIconHeader header;
    memcpy(&header, bytes->data, sizeof header);
    if (header.reserved != 0 || header.type != 1 ||
        bytes->size != sizeof header + header.count * sizeof(GroupIconEntry))
        return {};
    std::vector<GroupIconEntry> entries(header.count);
    memcpy(entries.data(), bytes->data + sizeof header, header.count * sizeof(GroupIconEntry));
    return entries;
}

TEST(Icon, GroupExistsOnlyInSimplifiedChinese) {
    EXPECT_EQ(ResourceIds(RT_GROUP_ICON), (std::vector<WORD>{IDR_MAINFRAME}));
    EXPECT_EQ(ResourceLanguages(RT_GROUP_ICON, IDR_MAINFRAME),
              (std::vector<WORD>{kLangChineseSimplified}));
}

TEST(Icon, GroupListsA32And16PixelImageOf16Colours) {
    std::vector<GroupIconEntry> entries = ReadGroup();
    ASSERT_EQ(entries.size(), std::size(kImages)) << "group missing or malformed";
    std::vector<WORD> imageIds;
    for (size_t row = 0; row < entries.size(); ++row) {
        const GroupIconEntry& entry = entries[row];
        EXPECT_EQ(entry.width, kImages[row].size) << "row " << row;
        EXPECT_EQ(entry.height, kImages[row].size) << "row " << row;
        EXPECT_EQ(entry.colorCount, 16) << "row " << row;
        EXPECT_EQ(entry.planes, 1) << "row " << row;
        EXPECT_EQ(entry.bitCount, 4) << "row " << row;
        EXPECT_EQ(entry.bytesInRes, kImages[row].bytes) << "row " << row;

        // The image itself: same language, the size the group claims, a 4-bit DIB of twice the height
        // (colour and mask bits stacked).
        EXPECT_EQ(ResourceLanguages(RT_ICON, entry.id),
                  (std::vector<WORD>{kLangChineseSimplified}))
            << "row " << row;
        auto image = FindResourceBytes(RT_ICON, entry.id, kLangChineseSimplified);
        ASSERT_TRUE(image) << "row " << row;
        EXPECT_EQ(image->size, kImages[row].bytes) << "row " << row;
        ASSERT_GE(image->size, sizeof(BITMAPINFOHEADER)) << "row " << row;
        BITMAPINFOHEADER header;
        memcpy(&header, image->data, sizeof header);
        EXPECT_EQ(header.biSize, sizeof header) << "row " << row;
        EXPECT_EQ(header.biWidth, kImages[row].size) << "row " << row;
        EXPECT_EQ(header.biHeight, 2 * kImages[row].size) << "row " << row;
        EXPECT_EQ(header.biPlanes, 1) << "row " << row;
        EXPECT_EQ(header.biBitCount, 4) << "row " << row;
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB)) << "row " << row;
        imageIds.push_back(entry.id);
    }
    // No image outside the group.
    std::sort(imageIds.begin(), imageIds.end());
    EXPECT_EQ(ResourceIds(RT_ICON), imageIds);
}

TEST(Icon, PlatformPicksEachImageForItsSizeAndLoadsItInEveryLanguage) {
    std::vector<GroupIconEntry> entries = ReadGroup();
    ASSERT_EQ(entries.size(), std::size(kImages)) << "group missing or malformed";
    auto group = FindResourceBytes(RT_GROUP_ICON, IDR_MAINFRAME, kLangChineseSimplified);
    ASSERT_TRUE(group);
    for (size_t row = 0; row < std::size(kImages); ++row) {
        int size = kImages[row].size;
        int chosen = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group->data), TRUE, size, size,
                                                 LR_DEFAULTCOLOR);
        EXPECT_EQ(chosen, entries[row].id) << "row " << row;

        // Loaded by id, as the dialog does: the group exists in one language only, and every user gets it.
        HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << "row " << row << ", error " << GetLastError();
        if (icon) DestroyIcon(icon);
    }
}

}  // namespace
}  // namespace zem::test
