#include "Catalogue.h"

#include <stdexcept>

#include "resource.h"

namespace zem::dialogtest {
namespace {

struct Row {
    UINT id;
    const wchar_t* english;
    const wchar_t* simplified;
    const wchar_t* traditional;
};

// Only the strings the dialog shows without a web server. The Traditional texts use the small-form
// punctuation of Big5 (U+FE54, U+FE50, U+FE55) where the Simplified ones use full-width forms.
const Row kRows[] = {
    {IDS_NO_WEB_SERVER,
     L"DEDOVO web installation requires a web server. \nSetup did not detect a useable server.\n"
     L"Please select the root directory of your web server.",
     L"WEB安装程序需要本机上安装有WEB服务器；\n安装程序未检测到可识别的WEB服务器，\n"
     L"如果您确认本机有可用的WEB服务器请手工指定安装目录。",
     L"WEB安裝程序需要本機上安裝有WEB服務器﹔\n安裝程序未檢測到可識別的WEB服務器﹐\n"
     L"如果您確認本機有可用的WEB服務器請手工指定安裝目錄。"},
    {IDS_DIALOG_TITLE, L"DEDOVO WEB INSTALL", L"卡洛文网络安装程序", L"卡洛文網絡安裝程序"},
    {IDS_INSTALL, L"&Install", L"安装(&I)", L"安裝(&I)"},
    {IDS_EXIT, L"E&xit", L"退出(&X)", L"退出(&X)"},
    {IDS_BROWSE_FOLDER, L"&Browse", L"浏览(&B)", L"瀏覽(&B)"},
    {IDS_BROWSE_PACKAGE, L"Bro&wse", L"浏览(&W)", L"瀏覽(&W)"},
    {IDS_LABEL_PACKAGE, L"Installation package:", L"卡洛文杀毒安装包：", L"卡洛文殺毒安裝包﹕"},
    {IDS_LABEL_FOLDER, L"Web virtual directory: ", L"目标文件夹：", L"目標文件夾﹕"},
    {IDS_NO_WEBSITE, L"No Website Found", L"没有站点", L"沒有站點"},
    {IDS_SITE_ROOT_PATH, L"Root path of current website is %s", L"当前选择站点的根路径\uFF1A %s",
     L"當前選擇站點的根路徑\uFE55 %s"},
    {IDS_LABEL_SITE, L"Please choose website:", L"请选择站点：", L"請選擇站點﹕"},
    {IDS_LABEL_URL, L"Corvane Web Instal URL:", L"卡洛文Web安装URL为：", L"卡洛文Web安裝URL為﹕"},
};

const LanguageInfo kLanguages[] = {
    {"en_US", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1252},
    {"zh_CN", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 936},
    {"zh_TW", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), 950},
};

Language g_current = Language::English;

}  // namespace

const LanguageInfo& Info(Language language)
{
    return kLanguages[static_cast<int>(language)];
}

bool ParseLanguage(const std::string& tag, Language& language)
{
    for (int i = 0; i < 3; ++i)
        if (tag == kLanguages[i].tag) {
            language = static_cast<Language>(i);
            return true;
        }
    return false;
}

const wchar_t* CatalogueText(UINT id, Language language)
{
    for (const Row& row : kRows)
        if (row.id == id)
            return language == Language::English      ? row.english
                   : language == Language::Simplified ? row.simplified
                                                      : row.traditional;
    throw std::logic_error("catalogue string " + std::to_string(id) + " is not in the test's table");
}

Language CurrentLanguage()
{
    return g_current;
}

void SetCurrentLanguage(Language language)
{
    g_current = language;
}

}  // namespace zem::dialogtest
