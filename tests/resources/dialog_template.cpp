#include "dialog_template.h"

#include <cstring>

namespace zem::test {

std::ostream& operator<<(std::ostream& out, const NameOrOrdinal& value) {
    if (value.isOrdinal) return out << "#" << value.ordinal;
    out << '"';
    for (wchar_t c : value.name) {
        if (c >= 0x20 && c < 0x7F)
            out << static_cast<char>(c);
        else
            out << "\\u" << std::hex << static_cast<unsigned>(c) << std::dec;
    }
    return out << '"';
}

namespace {

// Sequential reader over the resource bytes; any read past the end marks the whole parse as failed.
class Cursor {
public:
    explicit Cursor(const ResourceBytes& resource) : begin_(resource.data), p_(resource.data),
                                                     end_(resource.data + resource.size) {}

    bool ok() const { return ok_; }

    template <typename T>
    T Read() {
        T value{};
        if (!ok_ || static_cast<size_t>(end_ - p_) < sizeof value) {
            ok_ = false;
            return value;
        }
        memcpy(&value, p_, sizeof value);
        p_ += sizeof value;
        return value;
    }

    std::wstring ReadString() {
        std::wstring text;
        for (WCHAR c = Read<WCHAR>(); ok_ && c != L'\0'; c = Read<WCHAR>()) text.push_back(c);
        return text;
    }

    NameOrOrdinal ReadNameOrOrdinal() {
        WORD first = Read<WORD>();
        if (first == 0x0000) return NameOrOrdinal::None();
        if (first == 0xFFFF) return NameOrOrdinal::Ordinal(Read<WORD>());
        std::wstring rest = ReadString();
        return NameOrOrdinal::Name(static_cast<wchar_t>(first) + rest);
    }

    void Skip(size_t bytes) {
        if (!ok_ || static_cast<size_t>(end_ - p_) < bytes) {
            ok_ = false;
            return;
        }
        p_ += bytes;
    }

    // Items start on DWORD boundaries, counted from the start of the template.
    void AlignToDword() { Skip((4 - (p_ - begin_) % 4) % 4); }

private:
    const BYTE* begin_;
    const BYTE* p_;
    const BYTE* end_;
    bool ok_ = true;
};

void ReadGeometry(Cursor& in, short& x, short& y, short& cx, short& cy) {
    x = in.Read<short>();
    y = in.Read<short>();
    cx = in.Read<short>();
    cy = in.Read<short>();
}

}  // namespace

std::optional<DialogTemplate> ReadDialogTemplate(const ResourceBytes& resource) {
    Cursor in(resource);
    DialogTemplate dialog;
    WORD count = 0;

    // An extended template starts with version 1 and the signature 0xFFFF where a classic one has its style.
    WORD version = in.Read<WORD>();
    WORD signature = in.Read<WORD>();
    dialog.extended = version == 1 && signature == 0xFFFF;
    if (dialog.extended) {
        dialog.helpId = in.Read<DWORD>();
        dialog.exStyle = in.Read<DWORD>();
        dialog.style = in.Read<DWORD>();
    } else {
        dialog.style = MAKELONG(version, signature);
        dialog.exStyle = in.Read<DWORD>();
    }
    count = in.Read<WORD>();
    ReadGeometry(in, dialog.x, dialog.y, dialog.cx, dialog.cy);
    dialog.menu = in.ReadNameOrOrdinal();
    dialog.windowClass = in.ReadNameOrOrdinal();
    dialog.title = NameOrOrdinal::Name(in.ReadString());
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = in.Read<WORD>();
        if (dialog.extended) {
            dialog.weight = in.Read<WORD>();
            dialog.italic = in.Read<BYTE>();
            dialog.charset = in.Read<BYTE>();
        }
        dialog.typeface = in.ReadString();
    }

    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.AlignToDword();
        DialogItem item;
        if (dialog.extended) {
            item.helpId = in.Read<DWORD>();
            item.exStyle = in.Read<DWORD>();
            item.style = in.Read<DWORD>();
            ReadGeometry(in, item.x, item.y, item.cx, item.cy);
            item.id = in.Read<DWORD>();
        } else {
            item.style = in.Read<DWORD>();
            item.exStyle = in.Read<DWORD>();
            ReadGeometry(in, item.x, item.y, item.cx, item.cy);
            item.id = in.Read<WORD>();
        }
        item.windowClass = in.ReadNameOrOrdinal();
        item.text = in.ReadNameOrOrdinal();
        // Creation data: an extended template counts the bytes after the count, a classic one includes the
        // count word itself.
        item.extraBytes = in.Read<WORD>();
        if (dialog.extended)
            in.Skip(item.extraBytes);
        else if (item.extraBytes > sizeof(WORD))
            in.Skip(item.extraBytes - sizeof(WORD));
        dialog.items.push_back(std::move(item));
    }
    if (!in.ok()) return std::nullopt;
    return dialog;
}

}  // namespace zem::test
