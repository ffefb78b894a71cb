// dialog_test --lang=en_US|zh_CN|zh_TW [GoogleTest options]
//
// The language is given, not read from the system, so that a run whose locale did not take effect fails
// instead of passing three times in English.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Catalogue.h"
#include "resource.h"

namespace {

using namespace zem::dialogtest;

TEST(Environment, SystemLanguageIsTheOneUnderTest)
{
    const LanguageInfo& info = Info(CurrentLanguage());
    EXPECT_EQ(GetUserDefaultUILanguage(), info.uiLanguage) << info.tag;
    EXPECT_EQ(GetACP(), info.codePage) << info.tag;
}

// The program handles every text in the ANSI code page: a catalogue text that the code page cannot hold
// would reach the screen as '?', whatever the program does.
TEST(Environment, CatalogueTextsSurviveTheCodePage)
{
    const UINT ids[] = {IDS_NO_WEB_SERVER, IDS_DIALOG_TITLE, IDS_INSTALL,       IDS_EXIT,
                        IDS_BROWSE_FOLDER, IDS_BROWSE_PACKAGE, IDS_LABEL_PACKAGE, IDS_LABEL_FOLDER,
                        IDS_NO_WEBSITE,    IDS_LABEL_SITE,     IDS_LABEL_URL};
    for (size_t i = 0; i < std::size(ids); ++i) {
        const wchar_t* text = CatalogueText(ids[i], CurrentLanguage());
        BOOL lossy = FALSE;
        int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lossy);
        EXPECT_GT(size, 0) << "row " << i << ", string " << ids[i];
        EXPECT_FALSE(lossy) << "row " << i << ", string " << ids[i];
    }
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    bool given = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--lang=", 0) != 0) continue;
        Language language;
        if (!ParseLanguage(arg.substr(7), language)) {
            std::fprintf(stderr, "dialog_test: unknown language %s\n", arg.c_str() + 7);
            return 2;
        }
        SetCurrentLanguage(language);
        given = true;
    }
    if (!given) {
        std::fputs("usage: dialog_test --lang=en_US|zh_CN|zh_TW [GoogleTest options]\n", stderr);
        return 2;
    }
    return RUN_ALL_TESTS();
}
