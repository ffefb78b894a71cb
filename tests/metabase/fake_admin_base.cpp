#include "fake_admin_base.h"

#include <atomic>
#include <cstring>

namespace {

std::wstring Join(const std::wstring& base, LPCWSTR rel)
{
    std::wstring joined = base, part;
    for (const wchar_t* p = rel ? rel : L"";; ++p)
    {
        if (*p && *p != L'/' && *p != L'\\')
            part += *p;
        else if (!part.empty())
            joined += L"/" + part, part.clear();
        if (!*p)
            return joined;
    }
}

// IUnknown for an object with one interface besides IUnknown.
template <class Interface>
class ComObject : public Interface
{
public:
    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != m_iid)
            return E_NOINTERFACE;
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG WINAPI Release() override
    {
        LONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

protected:
    explicit ComObject(REFIID iid) : m_iid(iid) {}
    virtual ~ComObject() = default;

private:
    const IID m_iid;
    std::atomic<LONG> m_refs{1};
};

class FakeAdminBase : public ComObject<IMSAdminBaseW>
{
public:
    explicit FakeAdminBase(FakeMetabase& m) : ComObject(IID_IMSAdminBase_W), m_m(m) { ++m_m.liveObjects; }
    ~FakeAdminBase() override { --m_m.liveObjects; }

    HRESULT WINAPI OpenKey(METADATA_HANDLE hParent, LPCWSTR pszPath, DWORD, DWORD, PMETADATA_HANDLE phNew) override
    {
        const std::wstring path = Join(PathOf(hParent), pszPath);
        if (HRESULT hr = Scripted(L"OpenKey"); FAILED(hr))
            return hr;
        if (!m_m.HasKey(path))
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        *phNew = m_nextHandle++;
        m_handles[*phNew] = path;
        ++m_m.openHandles;
        return S_OK;
    }

    HRESULT WINAPI CloseKey(METADATA_HANDLE hKey) override
    {
        HRESULT hr = Scripted(L"CloseKey");
        // A close that reports failure still lets the handle go, as a real server does with a dead handle.
        if (m_handles.erase(hKey))
            --m_m.openHandles;
        else if (SUCCEEDED(hr))
            hr = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
        return hr;
    }

    HRESULT WINAPI AddKey(METADATA_HANDLE hKey, LPCWSTR pszPath) override
    {
        const std::wstring path = Join(PathOf(hKey), pszPath);
        if (HRESULT hr = Scripted(L"AddKey"); FAILED(hr))
            return hr;
        if (m_m.HasKey(path))
            return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        m_m.AddKey(path);
        return S_OK;
    }

    HRESULT WINAPI SetData(METADATA_HANDLE hKey, LPCWSTR pszPath, PMETADATA_RECORD pRecord) override
    {
        if (HRESULT hr = Scripted(L"SetData"); FAILED(hr))
            return hr;
        m_m.keys[Join(PathOf(hKey), pszPath)][pRecord->dwMDIdentifier] = {
            pRecord->dwMDAttributes, pRecord->dwMDUserType, pRecord->dwMDDataType,
            std::vector<BYTE>(pRecord->pbMDData, pRecord->pbMDData + pRecord->dwMDDataLen) };
        return S_OK;
    }

    HRESULT WINAPI GetData(METADATA_HANDLE hKey, LPCWSTR pszPath, PMETADATA_RECORD pRecord, DWORD* pdwRequired) override
    {
        if (HRESULT hr = Scripted(L"GetData"); FAILED(hr))
            return hr;
        auto key = m_m.keys.find(Join(PathOf(hKey), pszPath));
        if (key == m_m.keys.end())
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        auto value = key->second.find(pRecord->dwMDIdentifier);
        if (value == key->second.end())
            return MD_ERROR_DATA_NOT_FOUND;
        const FakeValue& v = value->second;
        if (pRecord->dwMDDataLen < v.data.size())
        {
            *pdwRequired = static_cast<DWORD>(v.data.size());
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        memcpy(pRecord->pbMDData, v.data.data(), v.data.size());
        pRecord->dwMDDataLen = static_cast<DWORD>(v.data.size());
        pRecord->dwMDDataType = v.dataType;
        pRecord->dwMDUserType = v.userType;
        pRecord->dwMDAttributes = v.attributes;
        return S_OK;
    }

    // Not used by the routines under test.
    HRESULT WINAPI DeleteKey(METADATA_HANDLE, LPCWSTR) override { return Unexpected(L"DeleteKey"); }
    HRESULT WINAPI DeleteChildKeys(METADATA_HANDLE, LPCWSTR) override { return Unexpected(L"DeleteChildKeys"); }
    HRESULT WINAPI EnumKeys(METADATA_HANDLE, LPCWSTR, LPWSTR, DWORD) override { return Unexpected(L"EnumKeys"); }
    HRESULT WINAPI CopyKey(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, WINBOOL, WINBOOL) override { return Unexpected(L"CopyKey"); }
    HRESULT WINAPI RenameKey(METADATA_HANDLE, LPCWSTR, LPCWSTR) override { return Unexpected(L"RenameKey"); }
    HRESULT WINAPI DeleteData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD) override { return Unexpected(L"DeleteData"); }
    HRESULT WINAPI EnumData(METADATA_HANDLE, LPCWSTR, PMETADATA_RECORD, DWORD, DWORD*) override { return Unexpected(L"EnumData"); }
    HRESULT WINAPI GetAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD, unsigned char*, DWORD*) override { return Unexpected(L"GetAllData"); }
    HRESULT WINAPI DeleteAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD) override { return Unexpected(L"DeleteAllData"); }
    HRESULT WINAPI CopyData(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WINBOOL) override { return Unexpected(L"CopyData"); }
    HRESULT WINAPI GetDataPaths(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WCHAR*, DWORD*) override { return Unexpected(L"GetDataPaths"); }
    HRESULT WINAPI ChangePermissions(METADATA_HANDLE, DWORD, DWORD) override { return Unexpected(L"ChangePermissions"); }
    HRESULT WINAPI SaveData() override { return Unexpected(L"SaveData"); }
    HRESULT WINAPI GetHandleInfo(METADATA_HANDLE, PMETADATA_HANDLE_INFO) override { return Unexpected(L"GetHandleInfo"); }
    HRESULT WINAPI GetSystemChangeNumber(DWORD*) override { return Unexpected(L"GetSystemChangeNumber"); }
    HRESULT WINAPI GetDataSetNumber(METADATA_HANDLE, LPCWSTR, DWORD*) override { return Unexpected(L"GetDataSetNumber"); }
    HRESULT WINAPI SetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, WINBOOL) override { return Unexpected(L"SetLastChangeTime"); }
    HRESULT WINAPI GetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, WINBOOL) override { return Unexpected(L"GetLastChangeTime"); }
    HRESULT WINAPI KeyExchangePhase1() override { return Unexpected(L"KeyExchangePhase1"); }
    HRESULT WINAPI KeyExchangePhase2() override { return Unexpected(L"KeyExchangePhase2"); }
    HRESULT WINAPI Backup(LPCWSTR, DWORD, DWORD) override { return Unexpected(L"Backup"); }
    HRESULT WINAPI Restore(LPCWSTR, DWORD, DWORD) override { return Unexpected(L"Restore"); }
    HRESULT WINAPI EnumBackups(LPWSTR, DWORD*, PFILETIME, DWORD) override { return Unexpected(L"EnumBackups"); }
    HRESULT WINAPI DeleteBackup(LPCWSTR, DWORD) override { return Unexpected(L"DeleteBackup"); }
    HRESULT WINAPI UnmarshalInterface(IMSAdminBaseW**) override { return Unexpected(L"UnmarshalInterface"); }
    HRESULT WINAPI GetServerGuid() override { return Unexpected(L"GetServerGuid"); }

private:
    std::wstring PathOf(METADATA_HANDLE h) const
    {
        auto it = m_handles.find(h);
        return it == m_handles.end() ? std::wstring() : it->second;
    }

    HRESULT Scripted(const wchar_t* method)
    {
        m_m.calls.push_back(method);
        auto& queue = m_m.script[method];
        if (queue.empty())
            return S_OK;
        HRESULT hr = queue.front();
        queue.pop_front();
        return hr;
    }

    HRESULT Unexpected(const wchar_t* method)
    {
        m_m.calls.push_back(std::wstring(L"unexpected ") + method);
        return E_NOTIMPL;
    }

    FakeMetabase& m_m;
    std::map<METADATA_HANDLE, std::wstring> m_handles;
    METADATA_HANDLE m_nextHandle = 100;
};

class FakeFactory : public ComObject<IClassFactory>
{
public:
    explicit FakeFactory(FakeMetabase& m) : ComObject(IID_IClassFactory), m_m(m) {}
    HRESULT WINAPI CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        if (FAILED(m_m.createResult))
            return m_m.createResult;
        FakeAdminBase* pObject = new FakeAdminBase(m_m);
        HRESULT hr = pObject->QueryInterface(riid, ppv);
        pObject->Release();
        return hr;
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

private:
    FakeMetabase& m_m;
};

} // namespace

void FakeMetabase::AddKey(const std::wstring& path)
{
    // Parents come into being with their children, as the tree has no gaps.
    for (size_t slash = path.find(L'/', 1); slash != std::wstring::npos; slash = path.find(L'/', slash + 1))
        keys[path.substr(0, slash)];
    keys[path];
}

void FakeMetabase::Set(const std::wstring& path, DWORD id, DWORD dataType, const std::wstring& text)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    AddKey(path);
    keys[path][id] = { 0, IIS_MD_UT_SERVER, dataType, std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t)) };
}

void FakeMetabase::SetMultiString(const std::wstring& path, DWORD id, const std::vector<std::wstring>& values)
{
    std::wstring joined;
    for (const auto& s : values)
        joined += s + L'\0';
    Set(path, id, MULTISZ_METADATA, joined);
}

std::vector<DWORD> FakeMetabase::Ids(const std::wstring& path) const
{
    std::vector<DWORD> ids;
    auto key = keys.find(path);
    if (key != keys.end())
        for (const auto& value : key->second)
            ids.push_back(value.first);
    return ids;
}

FakeAdminBaseRegistration::FakeAdminBaseRegistration(FakeMetabase& metabase)
    : m_pFactory(new FakeFactory(metabase))
{
    if (FAILED(::CoRegisterClassObject(CLSID_MSAdminBase_W, m_pFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie)))
        m_cookie = 0;
}

FakeAdminBaseRegistration::~FakeAdminBaseRegistration()
{
    if (m_cookie)
        ::CoRevokeClassObject(m_cookie);
    m_pFactory->Release();
}
