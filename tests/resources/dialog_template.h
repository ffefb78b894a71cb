// Reads a dialog template, classic (DLGTEMPLATE) or extended (DLGTEMPLATEEX), back into plain fields, so a
// test can compare a compiled template with what it should hold.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "resource_access.h"

namespace zem::test {

// A template's menu, class or text: absent, an ordinal, or a string.
struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::wstring name;

    static NameOrOrdinal None() { return {}; }
    static NameOrOrdinal Ordinal(WORD value) { return {true, value, {}}; }
    static NameOrOrdinal Name(std::wstring value) { return {false, 0, std::move(value)}; }

    friend bool operator==(const NameOrOrdinal& a, const NameOrOrdinal& b) {
        return a.isOrdinal == b.isOrdinal && a.ordinal == b.ordinal && a.name == b.name;
    }
};
std::ostream& operator<<(std::ostream& out, const NameOrOrdinal& value);

struct DialogItem {
    DWORD helpId = 0;  // extended templates only
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;      // a classic template stores a WORD, so -1 reads as 0xFFFF there
    NameOrOrdinal windowClass;
    NameOrOrdinal text;
    WORD extraBytes = 0;
};

struct DialogTemplate {
    bool extended = false;
    DWORD helpId = 0;  // extended templates only
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    NameOrOrdinal title;
    // Present when the style has DS_SETFONT; weight, italic and charset only in extended templates.
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

// Nothing when the data ends early or extends past the resource.
std::optional<DialogTemplate> ReadDialogTemplate(const ResourceBytes& resource);

}  // namespace zem::test
