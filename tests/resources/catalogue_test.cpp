// The message catalogue: every string in all three languages, read straight from the string-table blocks and
// through the platform's own loading in the language of the process.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "resource.h"
#include "resource_access.h"

namespace zem::test {
namespace {

// Punctuation is written as escapes so that full-width (U+FF0C, U+FF1A, ...), small-form (U+FE50, U+FE55, ...)
// and curly quotes (U+201C, U+201D) cannot be mistaken for one another or for ASCII.
struct CatalogueEntry {
    UINT id;
    const wchar_t* english;
    const wchar_t* simplified;
    const wchar_t* traditional;
};

const CatalogueEntry kCatalogue[] = {
    {IDS_ABOUTBOX,
     L"About DEDOVO Web Setup(&A)...",
     L"关于 Zem Web Setup(&A)...",
     L"關於 Zem Web Setup(&A)..."},
    {IDS_CHECK_IIS,
     L"Check IIS...",
     L"检测 IIS ...",
     L"檢測 IIS ..."},
    {IDS_CREATE_ROOT,
     L"Create root \"%s\"...",
     L"创建根目录\u201C%s\u201D...",
     L"創建根目錄\u201C%s\u201D..."},
    {IDS_COPYING_FILES,
     L"Copying files...",
     L"复制文件...",
     L"複製文件..."},
    {IDS_NO_WEB_SERVER,
     L"DEDOVO web installation requires a web server. \nSetup did not detect a useable server.\nPlease select the root directory of your web server.",
     L"WEB安装程序需要本机上安装有WEB服务器\uFF1B\n安装程序未检测到可识别的WEB服务器\uFF0C\n如果您确认本机有可用的WEB服务器请手工指定安装目录\u3002",
     L"WEB安裝程序需要本機上安裝有WEB服務器\uFE54\n安裝程序未檢測到可識別的WEB服務器\uFE50\n如果您確認本機有可用的WEB服務器請手工指定安裝目錄\u3002"},
    {IDS_SITE_ROOT_PATH,
     L"Root path of current website is %s",
     L"当前选择站点的根路径\uFF1A %s",
     L"當前選擇站點的根路徑\uFE55 %s"},
    {IDS_CANNOT_CREATE_DIR,
     L"Cannot create directory: %s.",
     L"不能创建目录\uFF1A %s",
     L"不能創建目錄\uFE55 %s"},
    {IDS_SETUP_FINISHED,
     L"Setup finished.",
     L"安装完成\u3002",
     L"安裝完成\u3002"},
    {IDS_SETUP_FAILED,
     L"Setup failed.",
     L"安装失败\u3002",
     L"安裝失敗\u3002"},
    {IDS_SELECT_FOLDER_TITLE,
     L"Please select virtual directory: ",
     L"请选择Web虚拟目录所在的目录\uFF1A",
     L"請選擇Web虛擬目錄所在的目錄\uFE55"},
    {IDS_DIALOG_TITLE,
     L"DEDOVO WEB INSTALL",
     L"卡洛文网络安装程序",
     L"卡洛文網絡安裝程序"},
    {IDS_INSTALL,
     L"&Install",
     L"安装(&I)",
     L"安裝(&I)"},
    {IDS_EXIT,
     L"E&xit",
     L"退出(&X)",
     L"退出(&X)"},
    {IDS_BROWSE_FOLDER,
     L"&Browse",
     L"浏览(&B)",
     L"瀏覽(&B)"},
    {IDS_PACKAGE_FILE_NAME,
     L"ZemSetup.exe",
     L"ZemSetup.exe",
     L"ZemSetup.exe"},
    {IDS_PACKAGE_NOT_FOUND,
     L"Cannot find file \"%s\",please check and try again.",
     L"找不到文件\u201C%s\u201D\uFF0C请检查文件是否存在\u3002",
     L"找不到文件\u201C%s\u201D\uFE50請檢查文件是否存在\u3002"},
    {IDS_ALL_FILES,
     L"All files",
     L"所有文件",
     L"所有文件"},
    {IDS_PACKAGE_FILTER,
     L"Installation package",
     L"卡洛文杀毒安装包",
     L"卡洛文殺毒安裝包"},
    {IDS_ENTER_PACKAGE,
     L"Please input full path for DEDOVO installation package.",
     L"请输入卡洛文杀毒软件网络版安装包的全路径文件名\u3002",
     L"請輸入卡洛文殺毒軟件網絡版安裝包的全路徑文件名\u3002"},
    {IDS_ENTER_FOLDER,
     L"Please input Web virtual directory.",
     L"请输入Web虚拟目录所在的文件夹路径\u3002",
     L"請輸入Web虛擬目錄所在的文件夾路徑\u3002"},
    {IDS_BROWSE_PACKAGE,
     L"Bro&wse",
     L"浏览(&W)",
     L"瀏覽(&W)"},
    {IDS_LABEL_PACKAGE,
     L"Installation package:",
     L"卡洛文杀毒安装包\uFF1A",
     L"卡洛文殺毒安裝包\uFE55"},
    {IDS_LABEL_FOLDER,
     L"Web virtual directory: ",
     L"目标文件夹\uFF1A",
     L"目標文件夾\uFE55"},
    {IDS_SELECT_PACKAGE_TITLE,
     L"Please select DEDOVO installation package",
     L"请选择\u201C卡洛文杀毒软件网络版安装包\u201D文件",
     L"請選擇\u201C卡洛文殺毒軟件網絡版安裝包\u201D文件"},
    {IDS_NO_WEBSITE,
     L"No Website Found",
     L"没有站点",
     L"沒有站點"},
    {IDS_CREATE_VDIR,
     L"Create Virtual Directory %s(%s).",
     L"创建虚拟目录%s(%s)\u3002",
     L"創建虛擬目錄%s(%s)\u3002"},
    {IDS_VDIR_FAILED_LOG,
     L"Failed to create virtual directory(%s),Error Code: %d\u00A3\u00ACError Info: %s.",
     L"创建虚拟目录(%s)失败\uFF0C错误码\uFF1A%d\uFF0C错误描述\uFF1A%s\u3002",
     L"創建虛擬目錄(%s)失敗\uFE50錯誤碼\uFE55%d\uFE50錯誤描述\uFE55%s\u3002"},
    {IDS_VDIR_FAILED_ASK,
     L"Failed to create virtual directory failed, Error Code:%d, Error Info: %s. \nContinue web installation?",
     L"创建虚拟目录失败\uFF0C错误码\uFF1A%d\uFF0C错误描述\uFF1A%s\u3002\n还要继续Web安装吗\uFF1F",
     L"創建虛擬目錄失敗\uFE50錯誤碼\uFE55%d\uFE50錯誤描述\uFE55%s\u3002\n還要繼續Web安裝嗎\uFE56"},
    {IDS_ERR_PATH_BUSY,
     L"Virtual directory cannot be created when other IIS management programs are running.Please close all programs and try again.",
     L"其他程序正在访问IIS设置时\uFF0C不能创建虚拟目录\uFF0C请关闭相关程序后再试",
     L"其他程序正在訪問IIS設置時\uFE50不能創建虛擬目錄\uFE50請關閉相關程序後再試"},
    {IDS_ERR_PATH_NOT_FOUND,
     L"Web site or virtual directory not found. Path does not exist.",
     L"没有找到站点或者虚拟目录\uFF0C路径不存在",
     L"沒有找到站點或者虛擬目錄\uFE50路徑不存在"},
    {IDS_ERR_ACCESS_DENIED,
     L"Access denied",
     L"拒绝访问",
     L"拒絕訪問"},
    {IDS_ERR_ALREADY_EXISTS,
     L"Virtual directory already exists",
     L"虚拟目录已经存在",
     L"虛擬目錄已經存在"},
    {IDS_LABEL_SITE,
     L"Please choose website:",
     L"请选择站点\uFF1A",
     L"請選擇站點\uFE55"},
    {IDS_LABEL_URL,
     L"Corvane Web Instal URL:",
     L"卡洛文Web安装URL为\uFF1A",
     L"卡洛文Web安裝URL為\uFE55"},
    {IDS_LINK_TOOLTIP,
     L"Double click to go to the site.",
     L"双击以访问站点\u3002",
     L"雙擊以訪問站點\u3002"},
};

// The numbers between 101 and 154 that the catalogue leaves out.
const UINT kUndefinedIds[] = {103, 104, 107, 108, 109, 110, 112, 114, 115, 117, 118, 119, 120, 121, 123, 124, 125,
                              135, 141};

struct Language {
    WORD id;
    const char* name;
    UINT ansiCodePage;  // what the platform uses for a user of this language
    const wchar_t* CatalogueEntry::*text;
};

const Language kLanguages[] = {
    {kLangEnglishUS, "en-US", 1252, &CatalogueEntry::english},
    {kLangChineseSimplified, "zh-CN", 936, &CatalogueEntry::simplified},
    {kLangChineseTraditional, "zh-TW", 950, &CatalogueEntry::traditional},
};

const CatalogueEntry* FindEntry(UINT id) {
    for (const CatalogueEntry& entry : kCatalogue)
        if (entry.id == id) return &entry;
    return nullptr;
}

const Language* FindLanguage(WORD id) {
    for (const Language& language : kLanguages)
        if (language.id == id) return &language;
    return nullptr;
}

std::string ToAnsi(const std::wstring& text, BOOL* lossy) {
    *lossy = FALSE;
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   lossy);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

TEST(Catalogue, TableCoversExactlyTheNumbersFrom101To154ThatAreNotLeftOut) {
    for (UINT id = 101; id <= 154; ++id) {
        bool undefined = std::find(std::begin(kUndefinedIds), std::end(kUndefinedIds), id) != std::end(kUndefinedIds);
        EXPECT_NE(FindEntry(id) != nullptr, undefined) << "string " << id;
    }
    EXPECT_EQ(std::size(kCatalogue) + std::size(kUndefinedIds), 54u);
}

TEST(Catalogue, BlocksHoldEveryStringInEveryLanguageAndNothingElse) {
    // Strings 101 to 154 fall into blocks 7 to 10 (strings 96 to 159).
    EXPECT_EQ(ResourceIds(RT_STRING), (std::vector<WORD>{7, 8, 9, 10}));
    for (WORD block = 7; block <= 10; ++block) {
        EXPECT_EQ(ResourceLanguages(RT_STRING, block),
                  (std::vector<WORD>{kLangChineseTraditional, kLangEnglishUS, kLangChineseSimplified}))
            << "block " << block;
        for (const Language& language : kLanguages) {
            auto bytes = FindResourceBytes(RT_STRING, block, language.id);
            ASSERT_TRUE(bytes) << "block " << block << " " << language.name;
            auto strings = ReadStringBlock(*bytes);
            ASSERT_TRUE(strings) << "block " << block << " " << language.name << ": cut short";
            for (UINT slot = 0; slot < 16; ++slot) {
                UINT id = (block - 1) * 16 + slot;
                const CatalogueEntry* entry = FindEntry(id);
                std::wstring expected = entry ? entry->*language.text : L"";
                EXPECT_EQ((*strings)[slot], expected)
                    << "string " << id << " " << language.name << (entry ? "" : " should be absent");
            }
        }
    }
}

// The user's language as the platform sees it decides every string the program loads.
class ProcessLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        language_ = FindLanguage(GetUserDefaultUILanguage());
        ASSERT_NE(language_, nullptr) << "user interface language 0x" << std::hex << GetUserDefaultUILanguage()
                                      << " is none of the catalogue's";
    }
    const Language* language_ = nullptr;
};

TEST_F(ProcessLanguage, FollowsTheLocaleTheTestRunAskedFor) {
    // The runs are registered with LANG=en_US / zh_CN / zh_TW; Wine derives the user language from it.
    const char* lang = std::getenv("LANG");
    if (!lang) GTEST_SKIP() << "LANG not set";
    struct Expectation {
        const char* prefix;
        WORD language;
    };
    const Expectation expectations[] = {
        {"en_US", kLangEnglishUS}, {"zh_CN", kLangChineseSimplified}, {"zh_TW", kLangChineseTraditional}};
    for (const Expectation& e : expectations)
        if (std::string(lang).rfind(e.prefix, 0) == 0) {
            EXPECT_EQ(language_->id, e.language) << "LANG=" << lang;
            EXPECT_EQ(GetACP(), language_->ansiCodePage) << "LANG=" << lang;
            return;
        }
    GTEST_SKIP() << "LANG=" << lang << " is none of the three the tests are run with";
}

TEST_F(ProcessLanguage, LoadStringWGivesTheUsersLanguage) {
    for (size_t row = 0; row < std::size(kCatalogue); ++row) {
        const CatalogueEntry& entry = kCatalogue[row];
        const std::wstring expected = entry.*language_->text;
        WCHAR buffer[512];
        std::fill(std::begin(buffer), std::end(buffer), L'\xFFFF');
        int length = LoadStringW(GetModuleHandleW(nullptr), entry.id, buffer, 512);
        ASSERT_EQ(length, static_cast<int>(expected.size())) << "row " << row << ", string " << entry.id;
        EXPECT_EQ(std::wstring(buffer, length), expected) << "row " << row << ", string " << entry.id;
        EXPECT_EQ(buffer[length], L'\0') << "row " << row << ", string " << entry.id;
    }
}

TEST_F(ProcessLanguage, LoadStringAGivesTheUsersLanguageInTheAnsiCodePage) {
    // The program works in the ANSI code page, so each string must also survive that conversion whole.
    for (size_t row = 0; row < std::size(kCatalogue); ++row) {
        const CatalogueEntry& entry = kCatalogue[row];
        BOOL lossy = FALSE;
        const std::string expected = ToAnsi(entry.*language_->text, &lossy);
        EXPECT_FALSE(lossy) << "row " << row << ", string " << entry.id << " has characters outside code page "
                            << GetACP();
        char buffer[1024];
        std::fill(std::begin(buffer), std::end(buffer), '\x7F');
        int length = LoadStringA(GetModuleHandleW(nullptr), entry.id, buffer, sizeof buffer);
        ASSERT_EQ(length, static_cast<int>(expected.size())) << "row " << row << ", string " << entry.id;
        EXPECT_EQ(Hex(std::string(buffer, length)), Hex(expected)) << "row " << row << ", string " << entry.id;
        EXPECT_EQ(buffer[length], '\0') << "row " << row << ", string " << entry.id;
    }
}

TEST_F(ProcessLanguage, NumbersLeftOutLoadAsNothing) {
    for (size_t row = 0; row < std::size(kUndefinedIds); ++row) {
        WCHAR wide[64];
        char narrow[64];
        EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), kUndefinedIds[row], wide, 64), 0)
            << "row " << row << ", string " << kUndefinedIds[row];
        EXPECT_EQ(LoadStringA(GetModuleHandleW(nullptr), kUndefinedIds[row], narrow, 64), 0)
            << "row " << row << ", string " << kUndefinedIds[row];
    }
}

}  // namespace
}  // namespace zem::test
