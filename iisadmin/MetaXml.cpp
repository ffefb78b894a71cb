#include "MetaXml.h"

#include "Schema.h"

#include <iiscnfg.h>
#include <mddefw.h>
#include <objbase.h>
#include <shlwapi.h>
#include <wrl/client.h>
#include <xmllite.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <wchar.h>
#include <wctype.h>

using Microsoft::WRL::ComPtr;

namespace iisadmin {

namespace {

const wchar_t kNamespace[] = L"urn:microsoft-catalog:XML_Metabase_V64_0";
const wchar_t kRootElement[] = L"IIS_ROOT";
const wchar_t kUntypedElement[] = L"IIsConfigObject";
const wchar_t kHexEncoding[] = L"hex";

const HRESULT kNotAMetabase = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
const HRESULT kNotText = HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);

// ---- reading ----------------------------------------------------------------------------------------

// configuration, MBProperty, a key, a Custom element: four levels; IIS_Global's content gets a few more.
const UINT kMaxElementDepth = 16;

bool IsXmlSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// An attribute value as the file spells it, references resolved and line ends made LF as XML makes them,
// but tabs and line breaks kept. False on a reference this store cannot resolve.
bool UnescapeAttribute(const std::wstring& raw, std::wstring& value)
{
    static const struct
    {
        const wchar_t* name;
        wchar_t c;
    } kEntities[] = {
        {L"amp;", L'&'}, {L"lt;", L'<'}, {L"gt;", L'>'}, {L"quot;", L'"'}, {L"apos;", L'\''}};
    value.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == L'\r') {
            value += L'\n';
            if (i + 1 < raw.size() && raw[i + 1] == L'\n')
                ++i;
            continue;
        }
        if (raw[i] != L'&') {
            value += raw[i];
            continue;
        }
        size_t semicolon = raw.find(L';', i);
        if (semicolon == std::wstring::npos)
            return false;
        std::wstring reference = raw.substr(i + 1, semicolon - i);
        i = semicolon;
        if (reference.size() > 2 && reference[0] == L'#') {
            bool hex = reference[1] == L'x';
            wchar_t* end = nullptr;
            unsigned long code = wcstoul(reference.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
            if (*end != L';' || code > 0x10FFFF)
                return false;
            if (code > 0xFFFF) {
                value += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
                value += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                value += static_cast<wchar_t>(code);
            }
            continue;
        }
        auto entity = std::find_if(std::begin(kEntities), std::end(kEntities),
                                   [&reference](const auto& e) { return reference == e.name; });
        if (entity == std::end(kEntities))
            return false;
        value += entity->c;
    }
    return true;
}

// XML turns every tab and line break inside an attribute value into a space, and Wine's reader does the
// same to the references &#9; and &#10;, which XML says to keep. A multi-line value IIS wrote (MimeMap,
// ScriptMaps, a Custom element's list) would come back as one line, its entries run together, and be
// written so. So the start tags are followed in the text itself, in the order the reader meets them, and
// a tag whose values may differ is read again for the values as the file spells them; the reader stays
// the judge of the document.
class RawTags
{
public:
    explicit RawTags(std::wstring text) : m_text(std::move(text)) {}

    // Moves to the next start tag. No '<' stands inside an attribute value, so the next one is found
    // whether or not this tag's attributes are read.
    void Advance() { m_tag = SkipToStartTag() ? m_at : std::wstring::npos; }

    // The attributes of the start tag moved to, in the file's spelling; empty when it cannot tell.
    Attributes Read() const
    {
        Attributes attributes;
        if (m_tag == std::wstring::npos)
            return attributes;
        const std::wstring& t = m_text;
        size_t i = m_tag;
        while (i < t.size() && !IsXmlSpace(t[i]) && t[i] != L'>' && t[i] != L'/')
            ++i;
        for (;;) {
            while (i < t.size() && IsXmlSpace(t[i]))
                ++i;
            size_t nameStart = i;
            while (i < t.size() && !IsXmlSpace(t[i]) && t[i] != L'=' && t[i] != L'>' && t[i] != L'/')
                ++i;
            std::wstring name = t.substr(nameStart, i - nameStart);
            while (i < t.size() && IsXmlSpace(t[i]))
                ++i;
            if (name.empty() || i + 1 >= t.size() || t[i] != L'=')
                break;
            for (++i; i < t.size() && IsXmlSpace(t[i]); ++i) {}
            size_t end = i < t.size() && (t[i] == L'"' || t[i] == L'\'') ? t.find(t[i], i + 1) : std::wstring::npos;
            std::wstring value;
            if (end == std::wstring::npos || !UnescapeAttribute(t.substr(i + 1, end - i - 1), value))
                break;
            attributes.emplace_back(std::move(name), std::move(value));
            i = end + 1;
        }
        return attributes;
    }

private:
    // Past the '<' of the next start tag. Comments, CDATA, processing instructions and end tags hold no
    // attributes and may hold a '<' of their own.
    bool SkipToStartTag()
    {
        static const struct
        {
            const wchar_t* open;
            const wchar_t* close;
        } kOtherMarkup[] = {
            {L"<!--", L"-->"}, {L"<![CDATA[", L"]]>"}, {L"<?", L"?>"}, {L"<!", L">"}, {L"</", L">"}};
        for (;;) {
            size_t open = m_text.find(L'<', m_at);
            if (open == std::wstring::npos) {
                m_at = m_text.size();
                return false;
            }
            auto other = std::find_if(std::begin(kOtherMarkup), std::end(kOtherMarkup), [&](const auto& markup) {
                return m_text.compare(open, wcslen(markup.open), markup.open) == 0;
            });
            if (other == std::end(kOtherMarkup)) {
                m_at = open + 1;
                return true;
            }
            size_t close = m_text.find(other->close, open + wcslen(other->open));
            m_at = close == std::wstring::npos ? m_text.size() : close + wcslen(other->close);
        }
    }

    std::wstring m_text;
    size_t m_at = 0;
    size_t m_tag = std::wstring::npos; // where the attributes of the tag moved to begin
};

// The file's spelling of a value when it is what the reader gave but for the spaces that stand for tabs and
// line breaks; otherwise the reader's.
std::wstring AttributeValue(const Attributes& raw, const wchar_t* name, const wchar_t* value, UINT length)
{
    for (const auto& attribute : raw) {
        if (attribute.first != name)
            continue;
        const std::wstring& text = attribute.second;
        bool same = text.size() == length;
        for (UINT i = 0; same && i < length; ++i)
            same = text[i] == value[i] || (value[i] == L' ' && IsXmlSpace(text[i]));
        if (same)
            return text;
    }
    return std::wstring(value, length);
}

class XmlIn
{
public:
    // nodeBudget: how many nodes the input can hold at most.
    XmlIn(IXmlReader* reader, size_t nodeBudget, std::wstring text)
        : m_reader(reader), m_budget(nodeBudget), m_rawTags(std::move(text))
    {
    }

    // Moves to the next node; S_FALSE at the end of the document. Every node takes at least one
    // character of the input, so a reader that keeps answering past its end (Wine's does, at the end
    // of a cut-off file) is stopped instead of walked forever.
    HRESULT Next(XmlNodeType& type)
    {
        if (!m_budget--)
            return MX_E_INPUTEND;
        HRESULT hr = m_reader->Read(&type);
        if (hr == S_OK && type == XmlNodeType_None)
            return MX_E_INPUTEND;
        return hr;
    }

    // On an element: its local name, its attributes and whether it has content to walk.
    HRESULT Element(std::wstring& name, Attributes& attributes, bool& empty)
    {
        const wchar_t* text = nullptr;
        HRESULT hr = m_reader->GetLocalName(&text, nullptr);
        if (FAILED(hr))
            return hr;
        name = text;
        empty = m_reader->IsEmptyElement() != FALSE;
        attributes.clear();
        m_rawTags.Advance();
        // Only a value with a space can stand for a tab or a line break: the tag is read again for those.
        std::optional<Attributes> raw;
        for (hr = m_reader->MoveToFirstAttribute(); hr == S_OK; hr = m_reader->MoveToNextAttribute()) {
            // Namespace declarations and prefixed attributes are no part of a key.
            const wchar_t* prefix = nullptr;
            UINT prefixLength = 0;
            if (SUCCEEDED(m_reader->GetPrefix(&prefix, &prefixLength)) && prefixLength)
                continue;
            const wchar_t* localName = nullptr;
            const wchar_t* value = nullptr;
            UINT valueLength = 0;
            HRESULT hrName = m_reader->GetLocalName(&localName, nullptr);
            if (FAILED(hrName))
                return hrName;
            if (wcscmp(localName, L"xmlns") == 0)
                continue;
            HRESULT hrValue = m_reader->GetValue(&value, &valueLength);
            if (FAILED(hrValue))
                return hrValue;
            if (!wmemchr(value, L' ', valueLength)) {
                attributes.emplace_back(localName, std::wstring(value, valueLength));
                continue;
            }
            if (!raw)
                raw = m_rawTags.Read();
            attributes.emplace_back(localName, AttributeValue(*raw, localName, value, valueLength));
        }
        if (FAILED(hr))
            return hr;
        HRESULT hrMove = m_reader->MoveToElement();
        return FAILED(hrMove) ? hrMove : S_OK;
    }

    // Walks the content of the element just read by Element (not an empty one) up to its end tag,
    // handing each child element to onChild, which must consume it whole; text is appended to text.
    // Refuses nesting deeper than the layout has: the walk recurses once per level.
    using OnChild = std::function<HRESULT(const std::wstring&, const Attributes&, bool)>;
    HRESULT Children(const OnChild& onChild, std::wstring* text = nullptr)
    {
        if (m_depth >= kMaxElementDepth)
            return SC_E_MAXELEMENTDEPTH;
        ++m_depth;
        HRESULT hr = Walk(onChild, text);
        --m_depth;
        return hr;
    }

    HRESULT Skip(bool empty)
    {
        if (empty)
            return S_OK;
        return Children([this](const std::wstring&, const Attributes&, bool childEmpty) { return Skip(childEmpty); });
    }

    HRESULT Verbatim(const std::wstring& name, const Attributes& attributes, bool empty, VerbatimElement& element)
    {
        element.name = name;
        element.attributes = attributes;
        if (empty)
            return S_OK;
        return Children(
            [this, &element](const std::wstring& childName, const Attributes& childAttributes, bool childEmpty) {
                element.children.emplace_back();
                return Verbatim(childName, childAttributes, childEmpty, element.children.back());
            },
            &element.text);
    }

private:
    HRESULT Walk(const OnChild& onChild, std::wstring* text)
    {
        for (;;) {
            XmlNodeType type;
            HRESULT hr = Next(type);
            if (FAILED(hr))
                return hr;
            if (hr == S_FALSE)
                return MX_E_INPUTEND;
            if (type == XmlNodeType_EndElement)
                return S_OK;
            if (type == XmlNodeType_Element) {
                std::wstring name;
                Attributes attributes;
                bool empty = false;
                hr = Element(name, attributes, empty);
                if (FAILED(hr))
                    return hr;
                hr = onChild(name, attributes, empty);
                if (FAILED(hr))
                    return hr;
            } else if (text && (type == XmlNodeType_Text || type == XmlNodeType_CDATA)) {
                // Whitespace between elements is layout, which the writer makes anew.
                const wchar_t* value = nullptr;
                UINT length = 0;
                hr = m_reader->GetValue(&value, &length);
                if (FAILED(hr))
                    return hr;
                text->append(value, length);
            }
        }
    }

    IXmlReader* m_reader;
    size_t m_budget;
    RawTags m_rawTags;
    UINT m_depth = 0;
};

const std::wstring* FindAttribute(const Attributes& attributes, const wchar_t* name)
{
    for (const auto& attribute : attributes)
        if (attribute.first == name)
            return &attribute.second;
    return nullptr;
}

Item MakeItem(DWORD id, DWORD dataType, DWORD userType, DWORD attributes, std::vector<BYTE> data)
{
    Item item;
    item.id = id;
    item.dataType = dataType;
    item.userType = userType;
    item.attributes = attributes;
    item.data = std::move(data);
    return item;
}

std::vector<BYTE> StringBytes(const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

HRESULT ReadCustom(const Attributes& attributes, Key& key)
{
    const std::wstring* idText = FindAttribute(attributes, L"ID");
    wchar_t* end = nullptr;
    if (!idText || idText->empty())
        return kNotAMetabase;
    unsigned long id = wcstoul(idText->c_str(), &end, 10);
    if (*end)
        return kNotAMetabase;

    // What the element leaves out comes from the schema; an identifier the schema does not know has
    // no defaults, and a plain string with no attributes is the least surprising reading.
    const PropertySchema* schema = FindProperty(static_cast<DWORD>(id));
    DWORD dataType = schema ? schema->dataType : static_cast<DWORD>(STRING_METADATA);
    DWORD userType = schema ? schema->userType : IIS_MD_UT_SERVER;
    DWORD itemAttributes = schema ? schema->attributes : METADATA_NO_ATTRIBUTES;
    if (const std::wstring* text = FindAttribute(attributes, L"Type"))
        if (!ParseDataType(*text, dataType))
            return kNotAMetabase;
    if (const std::wstring* text = FindAttribute(attributes, L"UserType"))
        if (!ParseUserType(*text, userType))
            return kNotAMetabase;
    if (const std::wstring* text = FindAttribute(attributes, L"Attributes"))
        if (!ParseAttributes(*text, itemAttributes))
            return kNotAMetabase;

    static const std::wstring kEmpty;
    const std::wstring* value = FindAttribute(attributes, L"Value");
    const std::wstring* encoding = FindAttribute(attributes, L"ValueEncoding");
    std::vector<BYTE> data;
    bool parsed = encoding && SameText(*encoding, kHexEncoding)
                      ? ParseHexText(value ? *value : kEmpty, data)
                      : ParseValueText(value ? *value : kEmpty, dataType,
                                       schema && schema->dataType == dataType ? schema : nullptr, data);
    if (!parsed)
        return kNotAMetabase;
    key.SetItem(MakeItem(static_cast<DWORD>(id), dataType, userType, itemAttributes, std::move(data)));
    const std::wstring* name = FindAttribute(attributes, L"Name");
    if (!schema && name && !name->empty())
        key.customNames[static_cast<DWORD>(id)] = *name;
    return S_OK;
}

HRESULT ReadKey(XmlIn& in, const std::wstring& elementName, const Attributes& attributes, bool empty, Tree& tree)
{
    const std::wstring* location = FindAttribute(attributes, L"Location");
    if (!location)
        return kNotAMetabase;
    // "." is IIS_Global: settings of the file itself, not a key. Kept as read.
    if (*location == L".") {
        tree.verbatim.emplace_back();
        return in.Verbatim(elementName, attributes, empty, tree.verbatim.back());
    }
    KeyPath path = SplitPath(location->c_str());
    for (const std::wstring& name : path)
        if (name.size() > kMaxNameLength)
            return kNotAMetabase;

    // A key may come after its children or twice; the later element adds to what is known.
    Key& key = EnsureKey(tree.root, path);
    if (elementName != kRootElement && elementName != kUntypedElement)
        key.SetItem(MakeItem(MD_KEY_TYPE, STRING_METADATA, IIS_MD_UT_SERVER, METADATA_NO_ATTRIBUTES,
                             StringBytes(elementName)));
    for (const auto& attribute : attributes) {
        if (attribute.first == L"Location")
            continue;
        const PropertySchema* schema = FindProperty(attribute.first);
        if (!schema) {
            key.unknownAttributes.push_back(attribute);
            continue;
        }
        std::vector<BYTE> data;
        if (!ParseValueText(attribute.second, schema->dataType, schema, data))
            return kNotAMetabase;
        key.SetItem(MakeItem(schema->id, schema->dataType, schema->userType, schema->attributes, std::move(data)));
    }
    if (empty)
        return S_OK;
    return in.Children([&in, &key](const std::wstring& name, const Attributes& childAttributes, bool childEmpty) {
        if (name != L"Custom")
            return in.Skip(childEmpty);
        HRESULT hr = ReadCustom(childAttributes, key);
        if (FAILED(hr))
            return hr;
        return in.Skip(childEmpty);
    });
}

// ---- writing ----------------------------------------------------------------------------------------

// An XML writer over a stream in memory.
HRESULT CreateMemoryWriter(ComPtr<IStream>& stream, ComPtr<IXmlWriter>& writer)
{
    stream.Attach(::SHCreateMemStream(nullptr, 0));
    if (!stream)
        return E_OUTOFMEMORY;
    return ::CreateXmlWriter(__uuidof(IXmlWriter), reinterpret_cast<void**>(writer.GetAddressOf()), nullptr);
}

// What a writer from CreateMemoryWriter has written, once flushed.
HRESULT StreamBytes(IStream* stream, std::vector<BYTE>& bytes)
{
    STATSTG stat = {};
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr))
        return hr;
    bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start = {};
    hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr))
        return hr;
    ULONG read = 0;
    hr = stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    if (FAILED(hr))
        return hr;
    bytes.resize(read);
    return S_OK;
}

// Wine's XmlLite writes attribute values exactly as given, where Windows' escapes them; ask the writer
// once which it does, so the text is escaped exactly once on either.
HRESULT ProbeAttributeEscaping(bool& escapes)
{
    ComPtr<IStream> stream;
    ComPtr<IXmlWriter> writer;
    HRESULT hr = CreateMemoryWriter(stream, writer);
    if (FAILED(hr))
        return hr;
    hr = writer->SetOutput(stream.Get());
    if (FAILED(hr))
        return hr;
    hr = writer->WriteStartElement(nullptr, L"a", nullptr);
    if (FAILED(hr))
        return hr;
    hr = writer->WriteAttributeString(nullptr, L"b", nullptr, L"&");
    if (FAILED(hr))
        return hr;
    hr = writer->WriteEndElement();
    if (FAILED(hr))
        return hr;
    hr = writer->Flush();
    if (FAILED(hr))
        return hr;
    std::vector<BYTE> output;
    hr = StreamBytes(stream.Get(), output);
    if (FAILED(hr))
        return hr;
    escapes = std::string(output.begin(), output.end()).find("&amp;") != std::string::npos;
    return S_OK;
}

std::wstring EscapeAttribute(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        case L'"': escaped += L"&quot;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

class XmlOut
{
public:
    XmlOut(IXmlWriter* writer, bool writerEscapes) : m_writer(writer), m_writerEscapes(writerEscapes) {}

    HRESULT Start(const std::wstring& name) { return m_writer->WriteStartElement(nullptr, name.c_str(), nullptr); }
    HRESULT End() { return m_writer->WriteEndElement(); }
    HRESULT FullEnd() { return m_writer->WriteFullEndElement(); }
    HRESULT Text(const std::wstring& text) { return text.empty() ? S_OK : m_writer->WriteString(text.c_str()); }
    HRESULT Attribute(const std::wstring& name, const std::wstring& value)
    {
        return m_writer->WriteAttributeString(nullptr, name.c_str(), nullptr,
                                              m_writerEscapes ? value.c_str() : EscapeAttribute(value).c_str());
    }
    HRESULT Attributes(const iisadmin::Attributes& attributes)
    {
        for (const auto& attribute : attributes) {
            HRESULT hr = Attribute(attribute.first, attribute.second);
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

private:
    IXmlWriter* m_writer;
    bool m_writerEscapes;
};

HRESULT WriteVerbatim(XmlOut& out, const VerbatimElement& element)
{
    HRESULT hr = out.Start(element.name);
    if (FAILED(hr))
        return hr;
    hr = out.Attributes(element.attributes);
    if (FAILED(hr))
        return hr;
    hr = out.Text(element.text);
    if (FAILED(hr))
        return hr;
    for (const VerbatimElement& child : element.children) {
        hr = WriteVerbatim(out, child);
        if (FAILED(hr))
            return hr;
    }
    return out.FullEnd();
}

bool IsElementName(const std::wstring& name)
{
    if (name.empty() || !(iswalpha(name[0]) || name[0] == L'_'))
        return false;
    for (wchar_t c : name)
        if (!(iswalnum(c) || c == L'_' || c == L'-' || c == L'.'))
            return false;
    return true;
}

// The element name a key is written under, and whether its KeyType still needs a Custom element to come
// back exactly (other attributes or user type than the schema's, or a name the element cannot carry).
std::wstring KeyElementName(const Key& key, bool isRoot, const Item*& keyTypeCustom)
{
    const Item* keyType = key.FindItem(MD_KEY_TYPE);
    if (keyType && (keyType->attributes & METADATA_VOLATILE))
        keyType = nullptr;
    keyTypeCustom = keyType;
    if (isRoot || !keyType || keyType->dataType != STRING_METADATA)
        return isRoot ? kRootElement : kUntypedElement;
    std::wstring name;
    if (!ValueText(keyType->dataType, keyType->data, nullptr, name) || !IsElementName(name) ||
        name == kRootElement || name == kUntypedElement)
        return kUntypedElement;
    if (keyType->userType == IIS_MD_UT_SERVER && keyType->attributes == METADATA_NO_ATTRIBUTES)
        keyTypeCustom = nullptr;
    return name;
}

// IIS's own schema names far more identifiers than this store's: the name the file gave one stays.
std::wstring CustomName(const Key& key, const PropertySchema* schema, DWORD id)
{
    if (schema)
        return schema->name;
    auto known = key.customNames.find(id);
    return known != key.customNames.end() ? known->second : L"UnknownName_" + std::to_wstring(id);
}

HRESULT WriteCustom(XmlOut& out, const Key& key, const Item& item)
{
    const PropertySchema* schema = FindProperty(item.id);
    std::wstring value;
    bool asText = ValueText(item.dataType, item.data, schema && schema->dataType == item.dataType ? schema : nullptr, value);
    Attributes attributes = {
        {L"Name", CustomName(key, schema, item.id)},
        {L"ID", std::to_wstring(item.id)},
        {L"Value", asText ? value : HexText(item.data)},
        {L"Type", DataTypeName(item.dataType)},
        {L"UserType", UserTypeText(item.userType)},
        {L"Attributes", AttributesText(item.attributes)},
    };
    // Text the file cannot carry goes as the bytes themselves; IIS never writes this attribute.
    if (!asText)
        attributes.emplace_back(L"ValueEncoding", kHexEncoding);
    HRESULT hr = out.Start(L"Custom");
    if (FAILED(hr))
        return hr;
    hr = out.Attributes(attributes);
    if (FAILED(hr))
        return hr;
    return out.End();
}

HRESULT WriteKey(XmlOut& out, const Key& key, const KeyPath& path)
{
    const Item* keyTypeCustom = nullptr;
    std::wstring elementName = KeyElementName(key, path.empty(), keyTypeCustom);
    Attributes attributes = {{L"Location", FormatPath(path)}};
    std::vector<const Item*> customs;
    if (keyTypeCustom)
        customs.push_back(keyTypeCustom);
    for (const Item& item : key.items) {
        if (item.id == MD_KEY_TYPE || (item.attributes & METADATA_VOLATILE))
            continue;
        const PropertySchema* schema = FindProperty(item.id);
        std::wstring text;
        if (schema && item.dataType == schema->dataType && item.userType == schema->userType &&
            item.attributes == schema->attributes && ValueText(item.dataType, item.data, schema, text))
            attributes.emplace_back(schema->name, text);
        else
            customs.push_back(&item);
    }
    for (const auto& attribute : key.unknownAttributes)
        if (attribute.first != L"Location" && !FindProperty(attribute.first))
            attributes.push_back(attribute);

    HRESULT hr = out.Start(elementName);
    if (FAILED(hr))
        return hr;
    hr = out.Attributes(attributes);
    if (FAILED(hr))
        return hr;
    for (const Item* item : customs) {
        hr = WriteCustom(out, key, *item);
        if (FAILED(hr))
            return hr;
    }
    return out.FullEnd();
}

// A key with nothing of its own and keys below it needs no element: their Locations bring it back. So a
// key path thousands of levels deep is written as one element, not as thousands of ever longer ones.
bool Implied(const Key& key)
{
    if (key.children.empty() || !key.unknownAttributes.empty())
        return false;
    for (const Item& item : key.items)
        if (!(item.attributes & METADATA_VOLATILE))
            return false;
    return true;
}

// Parents before children, so a reader meets each key before the keys below it. Walked with a list of
// its own rather than by recursion, however deep the tree.
HRESULT WriteKeys(XmlOut& out, const Key& root)
{
    struct Pending
    {
        const Key* key;
        size_t depth;
    };
    std::vector<Pending> pending{{&root, 0}};
    KeyPath path;
    while (!pending.empty()) {
        Pending next = pending.back();
        pending.pop_back();
        if (next.depth) {
            path.resize(next.depth - 1);
            path.push_back(next.key->name);
        }
        if (!next.depth || !Implied(*next.key)) {
            HRESULT hr = WriteKey(out, *next.key, path);
            if (FAILED(hr))
                return hr;
        }
        for (auto child = next.key->children.rbegin(); child != next.key->children.rend(); ++child)
            pending.push_back({child->get(), next.depth + 1});
    }
    return S_OK;
}

// The file as the XML reader gets it. Text that is not UTF-8 (or UTF-16 after its byte order mark) is
// refused here: the reader would turn it into U+FFFD, and the next write would keep that for good. So is
// a NUL, where Wine's reader takes its buffer to end. And the reader gets a line break after the end,
// which changes nothing in the document but spares Wine's reader its assertion on a file that ends
// right after the declaration. text: the same document as UTF-16, for RawTags.
HRESULT ReaderInput(const BYTE* bytes, size_t size, std::vector<BYTE>& input, std::wstring& text)
{
    if (size > 0x7FFFFFF0)
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    input.assign(bytes, bytes + size);
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (size % 2)
            return kNotText;
        std::vector<wchar_t> units(size / 2);
        memcpy(units.data(), bytes, size);
        for (size_t i = 1; i < units.size(); ++i) {
            wchar_t c = units[i];
            bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
            if (!c || low || (high && (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)))
                return kNotText;
            i += high;
        }
        text.assign(units.begin(), units.end());
        input.push_back('\n');
        input.push_back(0);
        return S_OK;
    }
    if (memchr(bytes, 0, size))
        return kNotText;
    input.push_back('\n');
    if (!size)
        return S_OK;
    const char* utf8 = reinterpret_cast<const char*>(bytes);
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, static_cast<int>(size), nullptr, 0);
    if (!length)
        return kNotText;
    text.resize(length);
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(size), &text[0], length);
    return S_OK;
}

} // namespace

HRESULT ReadMetabase(const BYTE* bytes, size_t size, Tree& tree)
{
    tree = Tree();
    std::vector<BYTE> input;
    std::wstring text;
    HRESULT hr = ReaderInput(bytes, size, input, text);
    if (FAILED(hr))
        return hr;
    ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(input.data(), static_cast<UINT>(input.size())));
    if (!stream)
        return E_OUTOFMEMORY;
    ComPtr<IXmlReader> reader;
    hr = ::CreateXmlReader(__uuidof(IXmlReader), reinterpret_cast<void**>(reader.GetAddressOf()), nullptr);
    if (FAILED(hr))
        return hr;
    hr = reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    if (FAILED(hr))
        return hr;
    hr = reader->SetInput(stream.Get());
    if (FAILED(hr))
        return hr;

    XmlIn in(reader.Get(), input.size(), std::move(text));
    bool sawConfiguration = false;
    for (;;) {
        XmlNodeType type;
        hr = in.Next(type);
        if (FAILED(hr))
            return hr;
        if (hr == S_FALSE)
            break;
        if (type != XmlNodeType_Element)
            continue;
        std::wstring name;
        Attributes attributes;
        bool empty = false;
        hr = in.Element(name, attributes, empty);
        if (FAILED(hr))
            return hr;
        if (name != L"configuration")
            return kNotAMetabase;
        sawConfiguration = true;
        if (empty)
            continue;
        hr = in.Children([&](const std::wstring& childName, const Attributes&, bool childEmpty) -> HRESULT {
            if (childName != L"MBProperty" || childEmpty)
                return in.Skip(childEmpty);
            return in.Children([&](const std::wstring& keyElement, const Attributes& keyAttributes, bool keyEmpty) {
                return ReadKey(in, keyElement, keyAttributes, keyEmpty, tree);
            });
        });
        if (FAILED(hr))
            return hr;
    }
    return sawConfiguration ? S_OK : kNotAMetabase;
}

HRESULT WriteMetabase(const Tree& tree, std::vector<BYTE>& bytes)
{
    struct Escaping
    {
        HRESULT probe;
        bool writerEscapes;
    };
    static const Escaping escaping = [] {
        Escaping e = {S_OK, false};
        e.probe = ProbeAttributeEscaping(e.writerEscapes);
        return e;
    }();
    if (FAILED(escaping.probe))
        return escaping.probe;

    ComPtr<IStream> stream;
    ComPtr<IXmlWriter> writer;
    HRESULT hr = CreateMemoryWriter(stream, writer);
    if (FAILED(hr))
        return hr;
    // The writer lays the file out itself: Wine's refuses whitespace written between elements.
    hr = writer->SetOutput(stream.Get());
    if (FAILED(hr))
        return hr;
    hr = writer->SetProperty(XmlWriterProperty_Indent, TRUE);
    if (FAILED(hr))
        return hr;
    hr = writer->WriteStartDocument(XmlStandalone_Omit);
    if (FAILED(hr))
        return hr;
    hr = writer->WriteStartElement(nullptr, L"configuration", kNamespace);
    if (FAILED(hr))
        return hr;

    XmlOut out(writer.Get(), escaping.writerEscapes);
    hr = out.Start(L"MBProperty");
    if (FAILED(hr))
        return hr;
    for (const VerbatimElement& element : tree.verbatim) {
        hr = WriteVerbatim(out, element);
        if (FAILED(hr))
            return hr;
    }
    hr = WriteKeys(out, tree.root);
    if (FAILED(hr))
        return hr;
    hr = out.FullEnd(); // MBProperty
    if (FAILED(hr))
        return hr;
    hr = out.FullEnd(); // configuration
    if (FAILED(hr))
        return hr;
    hr = writer->WriteEndDocument();
    if (FAILED(hr))
        return hr;
    hr = writer->Flush();
    if (FAILED(hr))
        return hr;
    return StreamBytes(stream.Get(), bytes);
}

} // namespace iisadmin
