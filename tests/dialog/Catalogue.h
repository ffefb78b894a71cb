// The catalogue texts the running dialog must show, in the three languages it ships, as UTF-16: the
// program is ANSI, and reading its windows with WM_GETTEXT on the Unicode side lets the system convert.
#pragma once

#include <windows.h>

#include <string>

namespace zem::dialogtest {

enum class Language { English, Simplified, Traditional };

struct LanguageInfo {
    const char* tag;    // as given on the command line: en_US, zh_CN, zh_TW
    LANGID uiLanguage;  // what the system must report for the program to pick this catalogue
    UINT codePage;      // the ANSI code page the program's texts pass through
};

const LanguageInfo& Info(Language language);
// Parses a tag as given on the command line; false for an unknown tag.
bool ParseLanguage(const std::string& tag, Language& language);

// Catalogue string `id` in `language`; an id this table does not hold is a mistake in the test.
const wchar_t* CatalogueText(UINT id, Language language);

// The language the test runs in, fixed by main() from the command line.
Language CurrentLanguage();
void SetCurrentLanguage(Language language);

}  // namespace zem::dialogtest
