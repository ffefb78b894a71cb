// The two dialog templates, read back from the compiled resources field by field, and then built by the
// platform to see that it understands them the same way.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "resource.h"
#include "resource_access.h"

namespace zem::test {
namespace {

// Predefined classes as a template stores them.
const NameOrOrdinal kButton = NameOrOrdinal::Ordinal(0x0080);
const NameOrOrdinal kEdit = NameOrOrdinal::Ordinal(0x0081);
const NameOrOrdinal kStatic = NameOrOrdinal::Ordinal(0x0082);
const NameOrOrdinal kComboBox = NameOrOrdinal::Ordinal(0x0085);
const NameOrOrdinal kProgress = NameOrOrdinal::Name(L"msctls_progress32");
const NameOrOrdinal kNoText = NameOrOrdinal::Name(L"");

NameOrOrdinal Text(const wchar_t* text) { return NameOrOrdinal::Name(text); }

struct ExpectedItem {
    DWORD id;
    NameOrOrdinal windowClass;
    std::optional<NameOrOrdinal> text;  // nothing: wording free, but some text must be there
    DWORD style;
    short x, y, cx, cy;
    const wchar_t* platformClass;  // the class name the platform reports for the created control
};

// Template order is tab order. Styles are the stored words, written as numbers on purpose: the resource
// compiler adds default bits to some statements, and a symbolic expression here could hide that.
const ExpectedItem kMainItems[] = {
    {IDC_SITE, kComboBox, kNoText, 0x50210003, 101, 10, 119, 60, L"ComboBox"},
    {IDC_WEB_FOLDER, kEdit, kNoText, 0x50810080, 101, 31, 149, 14, L"Edit"},
    {IDC_BROWSE_FOLDER, kButton, Text(L"&Browse"), 0x50010000, 255, 30, 50, 14, L"Button"},
    {IDC_PACKAGE, kEdit, kNoText, 0x50810080, 101, 50, 149, 14, L"Edit"},
    {IDC_BROWSE_PACKAGE, kButton, Text(L"&Browse"), 0x50010000, 255, 50, 50, 14, L"Button"},
    {IDC_LOG, kEdit, kNoText, 0x50B108C4, 7, 91, 298, 93, L"Edit"},
    {IDOK, kButton, Text(L"&Install"), 0x50010000, 163, 210, 50, 14, L"Button"},
    {IDCANCEL, kButton, Text(L"E&xit"), 0x50010001, 255, 210, 50, 14, L"Button"},
    {IDC_PROGRESS, kProgress, Text(L"Progress1"), 0x50000000, 7, 187, 298, 14, L"msctls_progress32"},
    {IDC_LABEL_FOLDER, kStatic, Text(L"Web virtual folder: "), 0x50020000, 7, 33, 90, 9, L"Static"},
    {IDC_LABEL_PACKAGE, kStatic, Text(L"Installation package"), 0x50020000, 7, 53, 89, 12, L"Static"},
    {IDC_LABEL_SITE, kStatic, Text(L"Web Site:"), 0x50020000, 7, 13, 88, 11, L"Static"},
    {IDC_LABEL_URL, kStatic, Text(L"Zem Web Install URL:"), 0x5003000B, 7, 73, 84, 14, L"Static"},
};

const ExpectedItem kAboutItems[] = {
    {0xFFFF, kStatic, NameOrOrdinal::Ordinal(IDR_MAINFRAME), 0x50000003, 7, 7, 20, 20, L"Static"},
    {0xFFFF, kStatic, Text(L"Corvane WebSetup 19.0.0.1"), 0x50020080, 40, 10, 119, 8, L"Static"},
    {0xFFFF, kStatic, std::nullopt, 0x50020000, 40, 25, 171, 16, L"Static"},  // the copyright line
    {IDOK, kButton, Text(L"OK"), 0x50030001, 178, 7, 50, 14, L"Button"},
};

void ExpectItems(const DialogTemplate& dialog, const ExpectedItem* expected, size_t count) {
    ASSERT_EQ(dialog.items.size(), count);
    for (size_t row = 0; row < count; ++row) {
        const DialogItem& item = dialog.items[row];
        const ExpectedItem& want = expected[row];
        EXPECT_EQ(item.id, want.id) << "row " << row;
        EXPECT_EQ(item.windowClass, want.windowClass) << "row " << row;
        if (want.text) {
            EXPECT_EQ(item.text, *want.text) << "row " << row;
        } else {
            EXPECT_FALSE(item.text.isOrdinal || item.text.name.empty()) << "row " << row << ": text expected";
        }
        EXPECT_EQ(item.style, want.style) << "row " << row << std::hex << ": 0x" << item.style;
        EXPECT_EQ(item.exStyle, 0u) << "row " << row;
        EXPECT_EQ(item.helpId, 0u) << "row " << row;
        EXPECT_EQ(item.x, want.x) << "row " << row;
        EXPECT_EQ(item.y, want.y) << "row " << row;
        EXPECT_EQ(item.cx, want.cx) << "row " << row;
        EXPECT_EQ(item.cy, want.cy) << "row " << row;
        EXPECT_EQ(item.extraBytes, 0) << "row " << row;
    }
}

TEST(DialogTemplates, EachExistsInItsOneLanguage) {
    EXPECT_EQ(ResourceIds(RT_DIALOG), (std::vector<WORD>{IDD_ABOUTBOX, IDD_MAIN}));
    EXPECT_EQ(ResourceLanguages(RT_DIALOG, IDD_MAIN), (std::vector<WORD>{kLangEnglishUS}));
    EXPECT_EQ(ResourceLanguages(RT_DIALOG, IDD_ABOUTBOX),
              (std::vector<WORD>{kLangChineseSimplified}));
}

TEST(DialogTemplates, MainDialogIsTheExtendedTemplateAsDesigned) {
    auto bytes = FindResourceBytes(RT_DIALOG, IDD_MAIN, kLangEnglishUS);
    ASSERT_TRUE(bytes);
    auto dialog = ReadDialogTemplate(*bytes);
    ASSERT_TRUE(dialog) << "template cut short";
    EXPECT_TRUE(dialog->extended);
    EXPECT_EQ(dialog->style, 0x90C000C0u) << std::hex << dialog->style;
    EXPECT_EQ(dialog->exStyle, 0x00040000u) << std::hex << dialog->exStyle;
    EXPECT_EQ(dialog->helpId, 0u);
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->cx, 311);
    EXPECT_EQ(dialog->cy, 228);
    EXPECT_EQ(dialog->menu, NameOrOrdinal::None());
    EXPECT_EQ(dialog->windowClass, NameOrOrdinal::None());
    EXPECT_EQ(dialog->title, Text(L"Corvane Web Setup"));
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, 0);
    EXPECT_EQ(dialog->italic, 0);
    EXPECT_EQ(dialog->charset, DEFAULT_CHARSET);
    EXPECT_EQ(dialog->typeface, L"MS Sans Serif");
    ExpectItems(*dialog, kMainItems, std::size(kMainItems));
}

TEST(DialogTemplates, AboutBoxIsTheClassicTemplateAsDesigned) {
    auto bytes = FindResourceBytes(RT_DIALOG, IDD_ABOUTBOX, kLangChineseSimplified);
    ASSERT_TRUE(bytes);
    auto dialog = ReadDialogTemplate(*bytes);
    ASSERT_TRUE(dialog) << "template cut short";
    EXPECT_FALSE(dialog->extended);
    EXPECT_EQ(dialog->style, 0x80C800C0u) << std::hex << dialog->style;
    EXPECT_EQ(dialog->exStyle, 0u);
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->cx, 235);
    EXPECT_EQ(dialog->cy, 55);
    EXPECT_EQ(dialog->menu, NameOrOrdinal::None());
    EXPECT_EQ(dialog->windowClass, NameOrOrdinal::None());
    EXPECT_EQ(dialog->title, Text(L"About ZemWebSetup"));
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->typeface, L"\u5B8B\u4F53");  // SimSun
    ExpectItems(*dialog, kAboutItems, std::size(kAboutItems));
}

// The platform builds each dialog from its template in every language run: both exist in one language only,
// so this also shows that the lookup falls back to it.
class CreatedDialog : public ::testing::Test {
protected:
    static INT_PTR CALLBACK IgnoreEverything(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&init);
    }

    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
    }

    void Create(WORD templateId) {
        dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr,
                                     IgnoreEverything, 0);
        ASSERT_NE(dialog_, nullptr) << "error " << GetLastError();
    }

    std::vector<HWND> Children() const {
        std::vector<HWND> children;
        for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        return children;
    }

    static std::wstring ClassOf(HWND window) {
        WCHAR name[64] = {};
        GetClassNameW(window, name, 64);
        return name;
    }

    static std::wstring TextOf(HWND window) {
        WCHAR text[128] = {};
        GetWindowTextW(window, text, 128);
        return text;
    }

    void ExpectControls(const ExpectedItem* expected, size_t count) {
        std::vector<HWND> children = Children();
        ASSERT_EQ(children.size(), count);
        for (size_t row = 0; row < count; ++row) {
            EXPECT_EQ(static_cast<DWORD>(GetDlgCtrlID(children[row])) & 0xFFFF, expected[row].id) << "row " << row;
            EXPECT_EQ(CompareStringOrdinal(ClassOf(children[row]).c_str(), -1, expected[row].platformClass, -1,
                                           TRUE),
                      CSTR_EQUAL)
                << "row " << row;
            // Only label and button texts come back unchanged; an icon control shows no text.
            const std::optional<NameOrOrdinal>& text = expected[row].text;
            if (text && !text->isOrdinal && !text->name.empty()) {
                EXPECT_EQ(TextOf(children[row]), text->name) << "row " << row;
            }
        }
    }

    HWND dialog_ = nullptr;
};

TEST_F(CreatedDialog, MainDialogHasItsThirteenControlsInTabOrder) {
    Create(IDD_MAIN);
    ExpectControls(kMainItems, std::size(kMainItems));
    EXPECT_EQ(TextOf(dialog_), L"Corvane Web Setup");
    // Exit, not Install, is the default button.
    EXPECT_EQ(LOWORD(SendMessageW(dialog_, DM_GETDEFID, 0, 0)), IDCANCEL);
}

TEST_F(CreatedDialog, AboutBoxShowsTheApplicationIcon) {
    Create(IDD_ABOUTBOX);
    ExpectControls(kAboutItems, std::size(kAboutItems));
    EXPECT_EQ(TextOf(dialog_), L"About ZemWebSetup");
    std::vector<HWND> children = Children();
    ASSERT_FALSE(children.empty());
    EXPECT_NE(SendMessageW(children[0], STM_GETICON, 0, 0), 0) << "icon 128 not loaded by the icon control";
}

}  // namespace
}  // namespace zem::test
