#include "MetaTree.h"

#include <iiscnfg.h>
#include <mddefw.h>
#include <mdmsg.h>

#include <algorithm>
#include <string.h>
#include <wchar.h>

namespace iisadmin {

std::wstring UpperCase(std::wstring text)
{
    if (!text.empty())
        ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

Key::~Key()
{
    std::vector<std::unique_ptr<Key>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<Key> key = std::move(pending.back());
        pending.pop_back();
        for (auto& child : key->children)
            pending.push_back(std::move(child));
        key->children.clear();
    }
}

Key* Key::Child(const std::wstring& childName) const
{
    auto it = m_index.find(UpperCase(childName));
    return it == m_index.end() ? nullptr : it->second;
}

Key& Key::AddChild(const std::wstring& childName)
{
    auto child = std::make_unique<Key>();
    child->name = childName;
    Key& added = *child;
    AdoptChild(std::move(child));
    return added;
}

void Key::AdoptChild(std::unique_ptr<Key> child)
{
    RemoveChild(child->name);
    m_index[UpperCase(child->name)] = child.get();
    children.push_back(std::move(child));
}

bool Key::RemoveChild(const std::wstring& childName)
{
    auto found = m_index.find(UpperCase(childName));
    if (found == m_index.end())
        return false;
    Key* key = found->second;
    m_index.erase(found);
    children.erase(std::find_if(children.begin(), children.end(),
                                [key](const std::unique_ptr<Key>& child) { return child.get() == key; }));
    return true;
}

const Item* Key::FindItem(DWORD id) const
{
    for (const Item& item : items)
        if (item.id == id)
            return &item;
    return nullptr;
}

Item* Key::FindItem(DWORD id)
{
    for (Item& item : items)
        if (item.id == id)
            return &item;
    return nullptr;
}

void Key::SetItem(Item item)
{
    if (Item* existing = FindItem(item.id))
        *existing = std::move(item);
    else
        items.push_back(std::move(item));
}

bool Key::RemoveItem(DWORD id)
{
    auto it = std::find_if(items.begin(), items.end(), [id](const Item& item) { return item.id == id; });
    if (it == items.end())
        return false;
    items.erase(it);
    return true;
}

Tree InitialTree()
{
    Tree tree;
    Key& computer = tree.root.AddChild(L"LM");
    Item keyType;
    keyType.id = MD_KEY_TYPE;
    keyType.userType = IIS_MD_UT_SERVER;
    keyType.dataType = STRING_METADATA;
    static const wchar_t kComputer[] = L"IIsComputer";
    const BYTE* bytes = reinterpret_cast<const BYTE*>(kComputer);
    keyType.data.assign(bytes, bytes + sizeof kComputer);
    computer.SetItem(std::move(keyType));
    return tree;
}

KeyPath SplitPath(const wchar_t* path)
{
    KeyPath names;
    if (!path)
        return names;
    const wchar_t* p = path;
    while (*p) {
        while (*p == L'/' || *p == L'\\')
            ++p;
        const wchar_t* start = p;
        while (*p && *p != L'/' && *p != L'\\')
            ++p;
        if (p > start)
            names.emplace_back(start, p - start);
    }
    return names;
}

KeyPath JoinPath(const KeyPath& base, const wchar_t* relative)
{
    KeyPath path = base;
    for (std::wstring& name : SplitPath(relative))
        path.push_back(std::move(name));
    return path;
}

std::wstring FormatPath(const KeyPath& path)
{
    if (path.empty())
        return L"/";
    std::wstring text;
    for (const std::wstring& name : path)
        text += L"/" + name;
    return text;
}

std::wstring LockPath(const KeyPath& path)
{
    return path.empty() ? std::wstring() : UpperCase(FormatPath(path));
}

Key* FindKey(Key& root, const KeyPath& path)
{
    Key* key = &root;
    for (const std::wstring& name : path)
        if (!(key = key->Child(name)))
            return nullptr;
    return key;
}

Key& EnsureKey(Key& root, const KeyPath& path)
{
    Key* key = &root;
    for (const std::wstring& name : path) {
        Key* child = key->Child(name);
        key = child ? child : &key->AddChild(name);
    }
    return *key;
}

namespace {

// The keys from the root down to the deepest one of path that exists.
std::vector<Key*> ExistingChain(Key& root, const KeyPath& path)
{
    std::vector<Key*> chain{&root};
    for (const std::wstring& name : path) {
        Key* child = chain.back()->Child(name);
        if (!child)
            break;
        chain.push_back(child);
    }
    return chain;
}

bool TypeMatches(const Item& item, DWORD dataType)
{
    return dataType == ALL_METADATA || item.dataType == dataType;
}

} // namespace

HRESULT LookupItem(Key& root, const KeyPath& path, DWORD id, DWORD requestAttributes, DWORD dataType,
                   FoundItem& found)
{
    std::vector<Key*> chain = ExistingChain(root, path);
    bool exists = chain.size() == path.size() + 1;
    bool inherit = (requestAttributes & METADATA_INHERIT) != 0;
    if (!exists && !(inherit && (requestAttributes & METADATA_PARTIAL_PATH)))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

    // Without the key itself only inheritable data counts, so the search starts at its nearest
    // existing ancestor as if that were a parent.
    size_t level = chain.size();
    if (exists) {
        --level;
        if (const Item* item = chain[level]->FindItem(id)) {
            if (!TypeMatches(*item, dataType))
                return MD_ERROR_DATA_NOT_FOUND;
            found = {item, false};
            return S_OK;
        }
    }
    if (!inherit)
        return MD_ERROR_DATA_NOT_FOUND;
    // The nearest ancestor that sets the identifier decides; inheritance cannot skip it.
    while (level-- > 0) {
        if (const Item* item = chain[level]->FindItem(id)) {
            if (!(item->attributes & METADATA_INHERIT) || !TypeMatches(*item, dataType))
                return MD_ERROR_DATA_NOT_FOUND;
            found = {item, true};
            return S_OK;
        }
    }
    return MD_ERROR_DATA_NOT_FOUND;
}

HRESULT CollectItems(Key& root, const KeyPath& path, DWORD requestAttributes, std::vector<FoundItem>& items)
{
    std::vector<Key*> chain = ExistingChain(root, path);
    bool exists = chain.size() == path.size() + 1;
    bool inherit = (requestAttributes & METADATA_INHERIT) != 0;
    if (!exists && !(inherit && (requestAttributes & METADATA_PARTIAL_PATH)))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

    items.clear();
    std::vector<DWORD> decided;
    size_t level = chain.size();
    if (exists) {
        --level;
        for (const Item& item : chain[level]->items) {
            items.push_back({&item, false});
            decided.push_back(item.id);
        }
    }
    if (!inherit)
        return S_OK;
    while (level-- > 0) {
        for (const Item& item : chain[level]->items) {
            if (std::find(decided.begin(), decided.end(), item.id) != decided.end())
                continue;
            decided.push_back(item.id);
            if (item.attributes & METADATA_INHERIT)
                items.push_back({&item, true});
        }
    }
    return S_OK;
}

std::vector<BYTE> RecordData(DWORD dataType, const BYTE* data, DWORD statedLength)
{
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data);
    size_t length = statedLength;
    switch (dataType) {
    case DWORD_METADATA:
        length = sizeof(DWORD);
        break;
    case STRING_METADATA:
    case EXPANDSZ_METADATA:
        length = (wcslen(text) + 1) * sizeof(wchar_t);
        break;
    case MULTISZ_METADATA: {
        const wchar_t* p = text;
        while (*p)
            p += wcslen(p) + 1;
        length = (p - text + 1) * sizeof(wchar_t);
        break;
    }
    default:
        break;
    }
    std::vector<BYTE> bytes(data, data + length);
    // An empty list is stored as two NULs, whichever of the two forms the caller used.
    if (dataType == MULTISZ_METADATA && bytes.size() < 2 * sizeof(wchar_t))
        bytes.assign(2 * sizeof(wchar_t), 0);
    return bytes;
}

} // namespace iisadmin
