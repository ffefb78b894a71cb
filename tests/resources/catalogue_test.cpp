// The message catalogue: the one table of every string in the three languages, compared with the string
// blocks linked into the program, language by language.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"

namespace {

// Punctuation is written as escapes so that full-width (U+FF0C, U+FF1A, ...), small-form (U+FE50, U+FE55, ...)
// and curly quotes (U+201C, U+201D) cannot be mistaken for one another or for ASCII.
struct CatalogueEntry {
    UINT id;
    const wchar_t* text[3];   // in the order of kLanguages
};

const CatalogueEntry kCatalogue[] = {
    {IDS_ABOUTBOX, {L"About DEDOVO Web Setup(&A)...", L"关于 Zem Web Setup(&A)...", L"關於 Zem Web Setup(&A)..."}},
    {IDS_CHECK_IIS, {L"Check IIS...", L"检测 IIS ...", L"檢測 IIS ..."}},
    {IDS_CREATE_ROOT, {L"Create root \"%s\"...", L"创建根目录\u201C%s\u201D...", L"創建根目錄\u201C%s\u201D..."}},
    {IDS_COPYING_FILES, {L"Copying files...", L"复制文件...", L"複製文件..."}},
    {IDS_NO_WEB_SERVER,
     {L"DEDOVO web installation requires a web server. \nSetup did not detect a useable server.\nPlease select the root directory of your web server.",
      L"WEB安装程序需要本机上安装有WEB服务器\uFF1B\n安装程序未检测到可识别的WEB服务器\uFF0C\n如果您确认本机有可用的WEB服务器请手工指定安装目录\u3002",
      L"WEB安裝程序需要本機上安裝有WEB服務器\uFE54\n安裝程序未檢測到可識別的WEB服務器\uFE50\n如果您確認本機有可用的WEB服務器請手工指定安裝目錄\u3002"}},
    {IDS_SITE_ROOT_PATH, {L"Root path of current website is %s", L"当前选择站点的根路径\uFF1A %s", L"當前選擇站點的根路徑\uFE55 %s"}},
    {IDS_CANNOT_CREATE_DIR, {L"Cannot create directory: %s.", L"不能创建目录\uFF1A %s", L"不能創建目錄\uFE55 %s"}},
    {IDS_SETUP_FINISHED, {L"Setup finished.", L"安装完成\u3002", L"安裝完成\u3002"}},
    {IDS_SETUP_FAILED, {L"Setup failed.", L"安装失败\u3002", L"安裝失敗\u3002"}},
    {IDS_SELECT_FOLDER_TITLE,
     {L"Please select virtual directory: ",
      L"请选择Web虚拟目录所在的目录\uFF1A",
      L"請選擇Web虛擬目錄所在的目錄\uFE55"}},
    {IDS_DIALOG_TITLE, {L"DEDOVO WEB INSTALL", L"卡洛文网络安装程序", L"卡洛文網絡安裝程序"}},
    {IDS_INSTALL, {L"&Install", L"安装(&I)", L"安裝(&I)"}},
    {IDS_EXIT, {L"E&xit", L"退出(&X)", L"退出(&X)"}},
    {IDS_BROWSE_FOLDER, {L"&Browse", L"浏览(&B)", L"瀏覽(&B)"}},
    {IDS_PACKAGE_FILE_NAME, {L"ZemSetup.exe", L"ZemSetup.exe", L"ZemSetup.exe"}},
    {IDS_PACKAGE_NOT_FOUND,
     {L"Cannot find file \"%s\",please check and try again.",
      L"找不到文件\u201C%s\u201D\uFF0C请检查文件是否存在\u3002",
      L"找不到文件\u201C%s\u201D\uFE50請檢查文件是否存在\u3002"}},
    {IDS_ALL_FILES, {L"All files", L"所有文件", L"所有文件"}},
    {IDS_PACKAGE_FILTER, {L"Installation package", L"卡洛文杀毒安装包", L"卡洛文殺毒安裝包"}},
    {IDS_ENTER_PACKAGE,
     {L"Please input full path for DEDOVO installation package.",
      L"请输入卡洛文杀毒软件网络版安装包的全路径文件名\u3002",
      L"請輸入卡洛文殺毒軟件網絡版安裝包的全路徑文件名\u3002"}},
    {IDS_ENTER_FOLDER,
     {L"Please input Web virtual directory.",
      L"请输入Web虚拟目录所在的文件夹路径\u3002",
      L"請輸入Web虛擬目錄所在的文件夾路徑\u3002"}},
    {IDS_BROWSE_PACKAGE, {L"Bro&wse", L"浏览(&W)", L"瀏覽(&W)"}},
    {IDS_LABEL_PACKAGE, {L"Installation package:", L"卡洛文杀毒安装包\uFF1A", L"卡洛文殺毒安裝包\uFE55"}},
    {IDS_LABEL_FOLDER, {L"Web virtual directory: ", L"目标文件夹\uFF1A", L"目標文件夾\uFE55"}},
    {IDS_SELECT_PACKAGE_TITLE,
     {L"Please select DEDOVO installation package",
      L"请选择\u201C卡洛文杀毒软件网络版安装包\u201D文件",
      L"請選擇\u201C卡洛文殺毒軟件網絡版安裝包\u201D文件"}},
    {IDS_NO_WEBSITE, {L"No Website Found", L"没有站点", L"沒有站點"}},
    {IDS_CREATE_VDIR, {L"Create Virtual Directory %s(%s).", L"创建虚拟目录%s(%s)\u3002", L"創建虛擬目錄%s(%s)\u3002"}},
    {IDS_VDIR_FAILED_LOG,
     {L"Failed to create virtual directory(%s),Error Code: %d\u00A3\u00ACError Info: %s.",
      L"创建虚拟目录(%s)失败\uFF0C错误码\uFF1A%d\uFF0C错误描述\uFF1A%s\u3002",
      L"創建虛擬目錄(%s)失敗\uFE50錯誤碼\uFE55%d\uFE50錯誤描述\uFE55%s\u3002"}},
    {IDS_VDIR_FAILED_ASK,
     {L"Failed to create virtual directory failed, Error Code:%d, Error Info: %s. \nContinue web installation?",
      L"创建虚拟目录失败\uFF0C错误码\uFF1A%d\uFF0C错误描述\uFF1A%s\u3002\n还要继续Web安装吗\uFF1F",
      L"創建虛擬目錄失敗\uFE50錯誤碼\uFE55%d\uFE50錯誤描述\uFE55%s\u3002\n還要繼續Web安裝嗎\uFE56"}},
    {IDS_ERR_PATH_BUSY,
     {L"Virtual directory cannot be created when other IIS management programs are running.Please close all programs and try again.",
      L"其他程序正在访问IIS设置时\uFF0C不能创建虚拟目录\uFF0C请关闭相关程序后再试",
      L"其他程序正在訪問IIS設置時\uFE50不能創建虛擬目錄\uFE50請關閉相關程序後再試"}},
    {IDS_ERR_PATH_NOT_FOUND,
     {L"Web site or virtual directory not found. Path does not exist.",
      L"没有找到站点或者虚拟目录\uFF0C路径不存在",
      L"沒有找到站點或者虛擬目錄\uFE50路徑不存在"}},
    {IDS_ERR_ACCESS_DENIED, {L"Access denied", L"拒绝访问", L"拒絕訪問"}},
    {IDS_ERR_ALREADY_EXISTS, {L"Virtual directory already exists", L"虚拟目录已经存在", L"虛擬目錄已經存在"}},
    {IDS_LABEL_SITE, {L"Please choose website:", L"请选择站点\uFF1A", L"請選擇站點\uFE55"}},
    {IDS_LABEL_URL, {L"Corvane Web Instal URL:", L"卡洛文Web安装URL为\uFF1A", L"卡洛文Web安裝URL為\uFE55"}},
    {IDS_LINK_TOOLTIP, {L"Double click to go to the site.", L"双击以访问站点\u3002", L"雙擊以訪問站點\u3002"}},
};

struct Language {
    WORD id;
    const char* name;
    UINT codePage;   // the ANSI code page a user of this language has: the program's texts pass through it
};

const Language kLanguages[] = {
    {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "en-US", 1252},
    {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), "zh-CN", 936},
    {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), "zh-TW", 950},
};

const CatalogueEntry* FindEntry(UINT id)
{
    for (const CatalogueEntry& entry : kCatalogue)
        if (entry.id == id) return &entry;
    return nullptr;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

// The sixteen strings of one block in exactly one language (the platform's own lookup would fall back to
// another language, so the block's languages are checked first); fewer when the block is cut short.
std::vector<std::wstring> StringBlock(WORD block, WORD language)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(block), language);
    const auto* p = info ? static_cast<const WCHAR*>(LockResource(LoadResource(module, info))) : nullptr;
    const WCHAR* end = p ? p + SizeofResource(module, info) / sizeof(WCHAR) : nullptr;
    std::vector<std::wstring> strings;
    while (p && p < end && strings.size() < 16 && p + 1 + *p <= end) {
        strings.emplace_back(p + 1, *p);
        p += 1 + *p;
    }
    return strings;
}

// Strings 101 to 154 lie in blocks 7 to 10; a number the table leaves out must be empty in every language.
TEST(Catalogue, ResourcesHoldTheTablesTextsInEachLanguage)
{
    for (WORD block = 7; block <= 10; ++block) {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(block),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        std::sort(languages.begin(), languages.end());
        EXPECT_EQ(languages, (std::vector<WORD>{kLanguages[2].id, kLanguages[0].id, kLanguages[1].id}))
            << "block " << block;
        for (size_t l = 0; l < std::size(kLanguages); ++l) {
            std::vector<std::wstring> strings = StringBlock(block, kLanguages[l].id);
            ASSERT_EQ(strings.size(), 16u) << "block " << block << " " << kLanguages[l].name;
            for (UINT slot = 0; slot < 16; ++slot) {
                const UINT id = (block - 1) * 16u + slot;
                const CatalogueEntry* entry = id >= 101 && id <= 154 ? FindEntry(id) : nullptr;
                EXPECT_EQ(strings[slot], entry ? entry->text[l] : L"") << "string " << id << " " << kLanguages[l].name;
            }
        }
    }
}

// The program handles its texts in the ANSI code page: a character the code page cannot hold would reach
// the screen as '?' whatever the program does.
TEST(Catalogue, EveryTextSurvivesItsLanguagesCodePage)
{
    for (const CatalogueEntry& entry : kCatalogue)
        for (size_t l = 0; l < std::size(kLanguages); ++l) {
            BOOL lossy = FALSE;
            int size = WideCharToMultiByte(kLanguages[l].codePage, WC_NO_BEST_FIT_CHARS, entry.text[l], -1, nullptr,
                                           0, nullptr, &lossy);
            EXPECT_GT(size, 0) << "string " << entry.id << " " << kLanguages[l].name;
            EXPECT_FALSE(lossy) << "string " << entry.id << " " << kLanguages[l].name;
        }
}

}  // namespace
