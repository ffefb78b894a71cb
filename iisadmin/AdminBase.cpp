#include "AdminBase.h"

#include "Module.h"

#include <mddefw.h>
#include <mdmsg.h>

#include <atomic>
#include <new>
#include <string.h>

namespace iisadmin {

namespace {

const HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const DWORD kAccessBits = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;
// SaveData waits this long for write handles to close, as IIS waits "a few seconds".
const DWORD kSaveWaitMs = 3000;

// Handle values are never 0 (the master root) and not reused while the process runs.
std::atomic<METADATA_HANDLE> g_nextHandle{ 1 };

// Fills a record from an item, or reports the length it needs and leaves the buffer alone.
HRESULT CopyOut(const FoundItem& found, PMETADATA_RECORD record, DWORD* required)
{
    const Item& item = *found.item;
    DWORD length = static_cast<DWORD>(item.data.size());
    if (record->dwMDDataLen < length) {
        *required = length;
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (length)
        memcpy(record->pbMDData, item.data.data(), length);
    DWORD marks = found.inherited && (record->dwMDAttributes & METADATA_ISINHERITED) ? METADATA_ISINHERITED : 0;
    record->dwMDDataLen = length;
    record->dwMDDataType = item.dataType;
    record->dwMDUserType = item.userType;
    record->dwMDAttributes = item.attributes | marks;
    return S_OK;
}

} // namespace

AdminBase::AdminBase(std::shared_ptr<Store> store) : m_store(std::move(store))
{
    LockModule();
}

AdminBase::~AdminBase()
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    for (auto& entry : m_handles)
        Close(entry.second);
    UnlockModule();
}

HRESULT AdminBase::Create(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    std::shared_ptr<Store> store;
    HRESULT hr = Store::Get(store);
    if (FAILED(hr))
        return hr;
    {
        // A new connection sees what other processes have written; a file that cannot be parsed fails
        // the calls, not the creation, so a client learns why.
        std::lock_guard<std::mutex> guard(store->Mutex());
        store->Refresh();
    }
    AdminBase* object = new (std::nothrow) AdminBase(std::move(store));
    if (!object)
        return E_OUTOFMEMORY;
    hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT AdminBase::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMSAdminBase_W) {
        *ppv = static_cast<IMSAdminBaseW*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG AdminBase::AddRef()
{
    return ::InterlockedIncrement(&m_refs);
}

ULONG AdminBase::Release()
{
    LONG refs = ::InterlockedDecrement(&m_refs);
    if (!refs)
        delete this;
    return refs;
}

HRESULT AdminBase::Resolve(METADATA_HANDLE handle, DWORD need, KeyPath& path, OpenHandle** open)
{
    if (open)
        *open = nullptr;
    if (handle == METADATA_MASTER_ROOT_HANDLE) {
        path.clear();
        return need & METADATA_PERMISSION_WRITE ? E_ACCESSDENIED : S_OK;
    }
    auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    if ((it->second.access & need) != need)
        return E_ACCESSDENIED;
    path = it->second.path;
    if (open)
        *open = &it->second;
    return S_OK;
}

HRESULT AdminBase::Close(OpenHandle& open)
{
    HRESULT hr = S_OK;
    // Written while the lock is still held: whoever waits for the key finds the change on disk.
    if (open.changed)
        hr = m_store->Flush();
    if (open.access & METADATA_PERMISSION_WRITE)
        m_store->RemoveWriteRegion(open.lock.serial);
    m_store->Locks().Release(open.lock);
    return hr;
}

HRESULT AdminBase::OpenKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, DWORD dwMDAccessRequested,
                           DWORD dwMDTimeOut, PMETADATA_HANDLE phMDNewHandle)
{
    if (!phMDNewHandle)
        return E_INVALIDARG;
    *phMDNewHandle = 0;

    KeyPath path;
    {
        std::lock_guard<std::mutex> guard(m_store->Mutex());
        KeyPath base;
        HRESULT hr = Resolve(hMDHandle, 0, base, nullptr);
        if (FAILED(hr))
            return hr;
        if (!(dwMDAccessRequested & kAccessBits) || (dwMDAccessRequested & ~kAccessBits))
            return E_INVALIDARG;
        path = JoinPath(base, pszMDPath);
        // Writing the root would lock the whole metabase against everyone.
        if (path.empty() && (dwMDAccessRequested & METADATA_PERMISSION_WRITE))
            return E_ACCESSDENIED;
        if (FAILED(hr = m_store->Refresh()))
            return hr;
        if (!FindKey(m_store->Data().root, path))
            return kPathNotFound;
    }

    // Waiting happens outside the store's mutex: the handle that is in the way may be this process's,
    // and its owner needs the mutex to close it.
    LockTicket lock;
    HRESULT hr = m_store->Locks().Acquire(LockPath(path), dwMDAccessRequested, dwMDTimeOut, lock);
    if (FAILED(hr))
        return hr;

    std::lock_guard<std::mutex> guard(m_store->Mutex());
    // Another process may have changed the key up to the moment the lock was granted.
    hr = m_store->Refresh();
    if (SUCCEEDED(hr) && !FindKey(m_store->Data().root, path))
        hr = kPathNotFound;
    if (FAILED(hr)) {
        m_store->Locks().Release(lock);
        return hr;
    }
    if (dwMDAccessRequested & METADATA_PERMISSION_WRITE)
        m_store->AddWriteRegion(lock.serial, path);
    METADATA_HANDLE handle = g_nextHandle++;
    OpenHandle& open = m_handles[handle];
    open.path = std::move(path);
    open.access = dwMDAccessRequested;
    open.lock = lock;
    *phMDNewHandle = handle;
    return S_OK;
}

HRESULT AdminBase::CloseKey(METADATA_HANDLE hMDHandle)
{
    if (hMDHandle == METADATA_MASTER_ROOT_HANDLE)
        return S_OK;
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    auto it = m_handles.find(hMDHandle);
    if (it == m_handles.end())
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    // The handle is gone even when writing out fails; the failure is the caller's to see.
    OpenHandle open = std::move(it->second);
    m_handles.erase(it);
    return Close(open);
}

HRESULT AdminBase::GetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData,
                           DWORD* pdwMDRequiredDataLen)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_READ, base, nullptr);
    if (FAILED(hr))
        return hr;
    if (!pmdrMDData || !pdwMDRequiredDataLen || pmdrMDData->dwMDDataType >= INVALID_END_METADATA ||
        (pmdrMDData->dwMDDataLen && !pmdrMDData->pbMDData))
        return E_INVALIDARG;
    DWORD attributes = pmdrMDData->dwMDAttributes;
    if ((attributes & METADATA_PARTIAL_PATH) && !(attributes & METADATA_INHERIT))
        return E_INVALIDARG;
    if (FAILED(hr = m_store->Status()))
        return hr;
    FoundItem found;
    hr = LookupItem(m_store->Data().root, JoinPath(base, pszMDPath), pmdrMDData->dwMDIdentifier, attributes,
                    pmdrMDData->dwMDDataType, found);
    if (FAILED(hr))
        return hr;
    return CopyOut(found, pmdrMDData, pdwMDRequiredDataLen);
}

HRESULT AdminBase::EnumData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData,
                            DWORD dwMDEnumDataIndex, DWORD* pdwMDRequiredDataLen)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_READ, base, nullptr);
    if (FAILED(hr))
        return hr;
    if (!pmdrMDData || !pdwMDRequiredDataLen || (pmdrMDData->dwMDDataLen && !pmdrMDData->pbMDData))
        return E_INVALIDARG;
    DWORD attributes = pmdrMDData->dwMDAttributes;
    if ((attributes & METADATA_PARTIAL_PATH) && !(attributes & METADATA_INHERIT))
        return E_INVALIDARG;
    if (FAILED(hr = m_store->Status()))
        return hr;
    std::vector<FoundItem> items;
    if (FAILED(hr = CollectItems(m_store->Data().root, JoinPath(base, pszMDPath), attributes, items)))
        return hr;
    if (dwMDEnumDataIndex >= items.size())
        return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    const FoundItem& found = items[dwMDEnumDataIndex];
    if (FAILED(hr = CopyOut(found, pmdrMDData, pdwMDRequiredDataLen)))
        return hr;
    pmdrMDData->dwMDIdentifier = found.item->id;
    return S_OK;
}

HRESULT AdminBase::EnumKeys(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, LPWSTR pszMDName, DWORD dwMDEnumObjectIndex)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_READ, base, nullptr);
    if (FAILED(hr))
        return hr;
    if (!pszMDName)
        return E_INVALIDARG;
    if (FAILED(hr = m_store->Status()))
        return hr;
    Key* key = FindKey(m_store->Data().root, JoinPath(base, pszMDPath));
    if (!key)
        return kPathNotFound;
    if (dwMDEnumObjectIndex >= key->children.size())
        return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    // Names are at most METADATA_MAX_NAME_LEN - 1 long (AddKey and the loader refuse longer ones).
    const std::wstring& name = key->children[dwMDEnumObjectIndex]->name;
    memcpy(pszMDName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

HRESULT AdminBase::SetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    OpenHandle* open = nullptr;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_WRITE, base, &open);
    if (FAILED(hr))
        return hr;
    if (!pmdrMDData || !pmdrMDData->pbMDData || pmdrMDData->dwMDDataType == ALL_METADATA ||
        pmdrMDData->dwMDDataType >= INVALID_END_METADATA ||
        (pmdrMDData->dwMDAttributes & (METADATA_ISINHERITED | METADATA_PARTIAL_PATH)))
        return E_INVALIDARG;
    if (FAILED(hr = m_store->Status()))
        return hr;
    Key* key = FindKey(m_store->Data().root, JoinPath(base, pszMDPath));
    if (!key)
        return kPathNotFound;
    const Item* existing = key->FindItem(pmdrMDData->dwMDIdentifier);
    if (existing && (existing->attributes & METADATA_SECURE) && !(pmdrMDData->dwMDAttributes & METADATA_SECURE))
        return MD_ERROR_CANNOT_REMOVE_SECURE_ATTRIBUTE;

    Item item;
    item.id = pmdrMDData->dwMDIdentifier;
    item.attributes = pmdrMDData->dwMDAttributes;
    item.userType = pmdrMDData->dwMDUserType;
    item.dataType = pmdrMDData->dwMDDataType;
    item.data = RecordData(item.dataType, pmdrMDData->pbMDData, pmdrMDData->dwMDDataLen);
    key->SetItem(std::move(item));
    open->changed = true;
    return S_OK;
}

HRESULT AdminBase::DeleteData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, DWORD dwMDIdentifier, DWORD dwMDDataType)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    OpenHandle* open = nullptr;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_WRITE, base, &open);
    if (FAILED(hr))
        return hr;
    if (dwMDDataType >= INVALID_END_METADATA)
        return E_INVALIDARG;
    if (FAILED(hr = m_store->Status()))
        return hr;
    Key* key = FindKey(m_store->Data().root, JoinPath(base, pszMDPath));
    if (!key)
        return kPathNotFound;
    const Item* item = key->FindItem(dwMDIdentifier);
    if (!item || (dwMDDataType != ALL_METADATA && item->dataType != dwMDDataType))
        return MD_ERROR_DATA_NOT_FOUND;
    key->RemoveItem(dwMDIdentifier);
    open->changed = true;
    return S_OK;
}

HRESULT AdminBase::AddKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    OpenHandle* open = nullptr;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_WRITE, base, &open);
    if (FAILED(hr))
        return hr;
    if (!pszMDPath)
        return E_INVALIDARG;
    KeyPath relative = SplitPath(pszMDPath);
    for (const std::wstring& name : relative)
        if (name.size() > kMaxNameLength)
            return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (FAILED(hr = m_store->Status()))
        return hr;
    Key* key = FindKey(m_store->Data().root, base);
    if (!key)
        return kPathNotFound;
    // Missing keys on the way are created; only a path that exists to its end is refused.
    bool created = false;
    for (const std::wstring& name : relative) {
        Key* child = key->Child(name);
        if (!child) {
            child = &key->AddChild(name);
            created = true;
        }
        key = child;
    }
    if (!created)
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    open->changed = true;
    return S_OK;
}

HRESULT AdminBase::DeleteKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath)
{
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    KeyPath base;
    OpenHandle* open = nullptr;
    HRESULT hr = Resolve(hMDHandle, METADATA_PERMISSION_WRITE, base, &open);
    if (FAILED(hr))
        return hr;
    KeyPath relative = SplitPath(pszMDPath);
    // The handle's own key cannot go while the handle is open on it.
    if (!pszMDPath || relative.empty())
        return E_INVALIDARG;
    if (FAILED(hr = m_store->Status()))
        return hr;
    KeyPath path = JoinPath(base, pszMDPath);
    KeyPath parentPath(path.begin(), path.end() - 1);
    Key* parent = FindKey(m_store->Data().root, parentPath);
    if (!parent || !parent->RemoveChild(path.back()))
        return kPathNotFound;
    open->changed = true;
    return S_OK;
}

HRESULT AdminBase::SaveData()
{
    HRESULT hr = m_store->Locks().WaitForNoWriters(kSaveWaitMs);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> guard(m_store->Mutex());
    return m_store->Flush();
}

} // namespace iisadmin
