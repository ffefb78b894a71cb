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
std::atomic<METADATA_HANDLE> g_nextHandle{1};

// A capacity stated without a buffer, or METADATA_PARTIAL_PATH without METADATA_INHERIT, which alone
// gives it a meaning.
bool BadRecord(const METADATA_RECORD& record)
{
    return (record.dwMDDataLen && !record.pbMDData) ||
           ((record.dwMDAttributes & METADATA_PARTIAL_PATH) && !(record.dwMDAttributes & METADATA_INHERIT));
}

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
        Call call;
        bool validAccess = (dwMDAccessRequested & kAccessBits) && !(dwMDAccessRequested & ~kAccessBits);
        HRESULT hr = Begin(call, hMDHandle, 0, validAccess ? S_OK : E_INVALIDARG, pszMDPath, Find::Path);
        if (FAILED(hr))
            return hr;
        path = std::move(call.path);
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

HRESULT AdminBase::Begin(Call& call, METADATA_HANDLE handle, DWORD need, HRESULT arguments, LPCWSTR relative, Find find)
{
    call.guard = std::unique_lock<std::mutex>(m_store->Mutex());
    KeyPath base;
    HRESULT hr = Resolve(handle, need, base, &call.open);
    if (FAILED(hr))
        return hr;
    if (FAILED(arguments))
        return arguments;
    // A file that was refused is looked at again: it may have been mended since.
    if (FAILED(m_store->Status()) && FAILED(hr = m_store->Refresh()))
        return hr;
    call.path = JoinPath(base, relative);
    if (find == Find::Key && !(call.key = FindKey(m_store->Data().root, call.path)))
        return kPathNotFound;
    return S_OK;
}

HRESULT AdminBase::GetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData,
                           DWORD* pdwMDRequiredDataLen)
{
    HRESULT arguments = !pmdrMDData || !pdwMDRequiredDataLen || pmdrMDData->dwMDDataType >= INVALID_END_METADATA ||
                                BadRecord(*pmdrMDData)
                            ? E_INVALIDARG
                            : S_OK;
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_READ, arguments, pszMDPath, Find::Path);
    if (FAILED(hr))
        return hr;
    FoundItem found;
    hr = LookupItem(m_store->Data().root, call.path, pmdrMDData->dwMDIdentifier, pmdrMDData->dwMDAttributes,
                    pmdrMDData->dwMDDataType, found);
    if (FAILED(hr))
        return hr;
    return CopyOut(found, pmdrMDData, pdwMDRequiredDataLen);
}

HRESULT AdminBase::EnumData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData,
                            DWORD dwMDEnumDataIndex, DWORD* pdwMDRequiredDataLen)
{
    HRESULT arguments = !pmdrMDData || !pdwMDRequiredDataLen || BadRecord(*pmdrMDData) ? E_INVALIDARG : S_OK;
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_READ, arguments, pszMDPath, Find::Path);
    if (FAILED(hr))
        return hr;
    std::vector<FoundItem> items;
    if (FAILED(hr = CollectItems(m_store->Data().root, call.path, pmdrMDData->dwMDAttributes, items)))
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
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_READ, pszMDName ? S_OK : E_INVALIDARG, pszMDPath, Find::Key);
    if (FAILED(hr))
        return hr;
    if (dwMDEnumObjectIndex >= call.key->children.size())
        return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    // Names are at most METADATA_MAX_NAME_LEN - 1 long (AddKey and the loader refuse longer ones).
    const std::wstring& name = call.key->children[dwMDEnumObjectIndex]->name;
    memcpy(pszMDName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

HRESULT AdminBase::SetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData)
{
    HRESULT arguments = !pmdrMDData || !pmdrMDData->pbMDData || pmdrMDData->dwMDDataType == ALL_METADATA ||
                                pmdrMDData->dwMDDataType >= INVALID_END_METADATA ||
                                (pmdrMDData->dwMDAttributes & (METADATA_ISINHERITED | METADATA_PARTIAL_PATH))
                            ? E_INVALIDARG
                            : S_OK;
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_WRITE, arguments, pszMDPath, Find::Key);
    if (FAILED(hr))
        return hr;
    const Item* existing = call.key->FindItem(pmdrMDData->dwMDIdentifier);
    if (existing && (existing->attributes & METADATA_SECURE) && !(pmdrMDData->dwMDAttributes & METADATA_SECURE))
        return MD_ERROR_CANNOT_REMOVE_SECURE_ATTRIBUTE;

    Item item;
    item.id = pmdrMDData->dwMDIdentifier;
    item.attributes = pmdrMDData->dwMDAttributes;
    item.userType = pmdrMDData->dwMDUserType;
    item.dataType = pmdrMDData->dwMDDataType;
    item.data = RecordData(item.dataType, pmdrMDData->pbMDData, pmdrMDData->dwMDDataLen);
    call.key->SetItem(std::move(item));
    call.open->changed = true;
    return S_OK;
}

HRESULT AdminBase::DeleteData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, DWORD dwMDIdentifier, DWORD dwMDDataType)
{
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_WRITE,
                       dwMDDataType >= INVALID_END_METADATA ? E_INVALIDARG : S_OK, pszMDPath, Find::Key);
    if (FAILED(hr))
        return hr;
    const Item* item = call.key->FindItem(dwMDIdentifier);
    if (!item || (dwMDDataType != ALL_METADATA && item->dataType != dwMDDataType))
        return MD_ERROR_DATA_NOT_FOUND;
    call.key->RemoveItem(dwMDIdentifier);
    call.open->changed = true;
    return S_OK;
}

HRESULT AdminBase::AddKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath)
{
    KeyPath relative = SplitPath(pszMDPath);
    HRESULT arguments = pszMDPath ? S_OK : E_INVALIDARG;
    for (const std::wstring& name : relative)
        if (name.size() > kMaxNameLength)
            arguments = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_WRITE, arguments, nullptr, Find::Key);
    if (FAILED(hr))
        return hr;
    // Missing keys on the way are created; only a path that exists to its end is refused.
    Key* key = call.key;
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
    call.open->changed = true;
    return S_OK;
}

HRESULT AdminBase::DeleteKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath)
{
    // The handle's own key cannot go while the handle is open on it.
    Call call;
    HRESULT hr = Begin(call, hMDHandle, METADATA_PERMISSION_WRITE, SplitPath(pszMDPath).empty() ? E_INVALIDARG : S_OK,
                       pszMDPath, Find::Path);
    if (FAILED(hr))
        return hr;
    KeyPath parentPath(call.path.begin(), call.path.end() - 1);
    Key* parent = FindKey(m_store->Data().root, parentPath);
    if (!parent || !parent->RemoveChild(call.path.back()))
        return kPathNotFound;
    call.open->changed = true;
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
