// The metabase in memory: a tree of keys, each with its data items, and the path and lookup rules the
// admin base object applies to it (relative paths, case-insensitive names, inheritance).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace iisadmin {

struct Item
{
    DWORD id = 0;
    DWORD attributes = 0;
    DWORD userType = 0;
    DWORD dataType = 0;
    std::vector<BYTE> data;
};

using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;

struct Key
{
    Key() = default;
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;
    // Frees the subtree level by level: a key path thousands of levels deep must not take as many
    // nested destructor calls.
    ~Key();

    std::wstring name;                          // as created; compared without regard to case
    std::vector<Item> items;                    // creation order, which EnumData follows
    std::vector<std::unique_ptr<Key>> children; // creation order, which EnumKeys follows; change through
                                                // the methods below, which keep the index
    Attributes unknownAttributes;               // attributes of the file this store does not know, kept verbatim
    // The names the file's Custom elements give identifiers the schema has no name for, so a write keeps
    // them; they stay when SetData replaces the item.
    std::unordered_map<DWORD, std::wstring> customNames;

    Key* Child(const std::wstring& childName) const;
    Key& AddChild(const std::wstring& childName);
    // Puts a key in place of the child of the same name, or adds it.
    void AdoptChild(std::unique_ptr<Key> child);
    bool RemoveChild(const std::wstring& childName);
    const Item* FindItem(DWORD id) const;
    Item* FindItem(DWORD id);
    void SetItem(Item item); // replaces an item of the same identifier in place
    bool RemoveItem(DWORD id);

private:
    // Children by upper-case name: a site key holds thousands of children, looked up on every call.
    std::unordered_map<std::wstring, Key*> m_index;
};

// An element of the file that is not a key (IIS_Global), written back as it was read.
struct VerbatimElement
{
    std::wstring name;
    Attributes attributes;
    std::vector<VerbatimElement> children;
    std::wstring text;
};

struct Tree
{
    Key root;
    std::vector<VerbatimElement> verbatim;
};

// Every IIS has the computer key: without it nothing could ever be added, since the root cannot be
// opened for writing. A store without a file holds this tree.
Tree InitialTree();

// Key names from the root, as given by a caller.
using KeyPath = std::vector<std::wstring>;

// "/" and "\" both separate names; empty names (leading, trailing or doubled separators) are ignored.
KeyPath SplitPath(const wchar_t* path);
KeyPath JoinPath(const KeyPath& base, const wchar_t* relative);
std::wstring FormatPath(const KeyPath& path);

// The path in the form locks compare: upper case, "" for the root, "/LM/W3SVC" below it.
std::wstring LockPath(const KeyPath& path);
// Names compare without case, as the system compares file names.
std::wstring UpperCase(std::wstring text);

const size_t kMaxNameLength = 255;

Key* FindKey(Key& root, const KeyPath& path);
Key& EnsureKey(Key& root, const KeyPath& path);

// The item GetData returns, and whether it came from an ancestor.
struct FoundItem
{
    const Item* item = nullptr;
    bool inherited = false;
};

// GetData's lookup: the key's own item, else (with METADATA_INHERIT) the nearest ancestor's if that one
// is inheritable; with METADATA_PARTIAL_PATH a missing key is looked up from its nearest existing
// ancestor. dataType ALL_METADATA matches any type.
HRESULT LookupItem(Key& root, const KeyPath& path, DWORD id, DWORD requestAttributes, DWORD dataType,
                   FoundItem& found);

// EnumData's list: the key's own items, then (with METADATA_INHERIT) the inheritable ones of its
// ancestors that no nearer key sets.
HRESULT CollectItems(Key& root, const KeyPath& path, DWORD requestAttributes, std::vector<FoundItem>& items);

// The bytes a SetData record carries: the caller states the length only for binary data.
std::vector<BYTE> RecordData(DWORD dataType, const BYTE* data, DWORD statedLength);

} // namespace iisadmin
