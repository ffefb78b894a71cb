#include "FaultyAdminBase.h"

#include <atomic>

namespace zem::ui {

namespace {

using Microsoft::WRL::ComPtr;

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
    std::atomic<LONG> m_refs{ 1 };
};

class FaultyAdminBase : public ComObject<IMSAdminBaseW>
{
public:
    FaultyAdminBase(FaultScript& script, ComPtr<IMSAdminBaseW> real)
        : ComObject(IID_IMSAdminBase_W), m_s(script), m_real(std::move(real)) { ++m_s.liveObjects; }
    ~FaultyAdminBase() override { --m_s.liveObjects; }

    HRESULT WINAPI OpenKey(METADATA_HANDLE h, LPCWSTR path, DWORD access, DWORD timeout, PMETADATA_HANDLE opened) override
    {
        HRESULT hr = Pass(&IMSAdminBaseW::OpenKey, L"OpenKey", h, path, access, timeout, opened);
        m_s.openHandles += SUCCEEDED(hr);
        return hr;
    }
    HRESULT WINAPI CloseKey(METADATA_HANDLE h) override
    {
        // A close that reports failure still lets the handle go, as the real object does with a dead handle.
        HRESULT injected = Next(L"CloseKey");
        HRESULT hr = m_real->CloseKey(h);
        m_s.openHandles -= SUCCEEDED(hr);
        return FAILED(injected) ? injected : hr;
    }
    HRESULT WINAPI SetData(METADATA_HANDLE h, LPCWSTR path, PMETADATA_RECORD record) override
    {
        m_s.written.push_back({ path ? path : L"", *record,
                                std::vector<BYTE>(record->pbMDData, record->pbMDData + record->dwMDDataLen) });
        return Pass(&IMSAdminBaseW::SetData, L"SetData", h, path, record);
    }

#define ZEM_PASS(Method, Params, ...) \
    HRESULT WINAPI Method Params override { return Pass(&IMSAdminBaseW::Method, L"" #Method, ##__VA_ARGS__); }
    ZEM_PASS(AddKey, (METADATA_HANDLE h, LPCWSTR p), h, p)
    ZEM_PASS(DeleteKey, (METADATA_HANDLE h, LPCWSTR p), h, p)
    ZEM_PASS(DeleteChildKeys, (METADATA_HANDLE h, LPCWSTR p), h, p)
    ZEM_PASS(EnumKeys, (METADATA_HANDLE h, LPCWSTR p, LPWSTR n, DWORD i), h, p, n, i)
    ZEM_PASS(CopyKey, (METADATA_HANDLE h, LPCWSTR p, METADATA_HANDLE d, LPCWSTR q, WINBOOL o, WINBOOL c), h, p, d, q, o, c)
    ZEM_PASS(RenameKey, (METADATA_HANDLE h, LPCWSTR p, LPCWSTR n), h, p, n)
    ZEM_PASS(GetData, (METADATA_HANDLE h, LPCWSTR p, PMETADATA_RECORD r, DWORD* n), h, p, r, n)
    ZEM_PASS(DeleteData, (METADATA_HANDLE h, LPCWSTR p, DWORD i, DWORD t), h, p, i, t)
    ZEM_PASS(EnumData, (METADATA_HANDLE h, LPCWSTR p, PMETADATA_RECORD r, DWORD i, DWORD* n), h, p, r, i, n)
    ZEM_PASS(GetAllData, (METADATA_HANDLE h, LPCWSTR p, DWORD a, DWORD u, DWORD t, DWORD* c, DWORD* s, DWORD b, unsigned char* d, DWORD* n), h, p, a, u, t, c, s, b, d, n)
    ZEM_PASS(DeleteAllData, (METADATA_HANDLE h, LPCWSTR p, DWORD u, DWORD t), h, p, u, t)
    ZEM_PASS(CopyData, (METADATA_HANDLE h, LPCWSTR p, METADATA_HANDLE d, LPCWSTR q, DWORD a, DWORD u, DWORD t, WINBOOL c),
             h, p, d, q, a, u, t, c)
    ZEM_PASS(GetDataPaths, (METADATA_HANDLE h, LPCWSTR p, DWORD i, DWORD t, DWORD b, WCHAR* d, DWORD* n), h, p, i, t, b, d, n)
    ZEM_PASS(ChangePermissions, (METADATA_HANDLE h, DWORD t, DWORD a), h, t, a)
    ZEM_PASS(SaveData, ())
    ZEM_PASS(GetHandleInfo, (METADATA_HANDLE h, PMETADATA_HANDLE_INFO i), h, i)
    ZEM_PASS(GetSystemChangeNumber, (DWORD * n), n)
    ZEM_PASS(GetDataSetNumber, (METADATA_HANDLE h, LPCWSTR p, DWORD* n), h, p, n)
    ZEM_PASS(SetLastChangeTime, (METADATA_HANDLE h, LPCWSTR p, PFILETIME t, WINBOOL l), h, p, t, l)
    ZEM_PASS(GetLastChangeTime, (METADATA_HANDLE h, LPCWSTR p, PFILETIME t, WINBOOL l), h, p, t, l)
    ZEM_PASS(KeyExchangePhase1, ())
    ZEM_PASS(KeyExchangePhase2, ())
    ZEM_PASS(Backup, (LPCWSTR l, DWORD v, DWORD f), l, v, f)
    ZEM_PASS(Restore, (LPCWSTR l, DWORD v, DWORD f), l, v, f)
    ZEM_PASS(EnumBackups, (LPWSTR l, DWORD* v, PFILETIME t, DWORD i), l, v, t, i)
    ZEM_PASS(DeleteBackup, (LPCWSTR l, DWORD v), l, v)
    ZEM_PASS(UnmarshalInterface, (IMSAdminBaseW * *p), p)
    ZEM_PASS(GetServerGuid, ())
#undef ZEM_PASS

private:
    // The call noted, and the result the script has for it next (S_OK when it has none).
    HRESULT Next(const wchar_t* method)
    {
        m_s.calls.push_back(method);
        auto& queue = m_s.results[method];
        if (queue.empty())
            return S_OK;
        HRESULT hr = queue.front();
        queue.pop_front();
        return hr;
    }
    template <typename Method, typename... Args>
    HRESULT Pass(Method method, const wchar_t* name, Args... args)
    {
        HRESULT hr = Next(name);
        return FAILED(hr) ? hr : (m_real.Get()->*method)(args...);
    }

    FaultScript& m_s;
    ComPtr<IMSAdminBaseW> m_real;
};

class FaultyFactory : public ComObject<IClassFactory>
{
public:
    FaultyFactory(FaultScript& script, ComPtr<IClassFactory> real)
        : ComObject(IID_IClassFactory), m_s(script), m_real(std::move(real)) {}
    HRESULT WINAPI CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        if (FAILED(m_s.createResult))
            return m_s.createResult;
        ComPtr<IMSAdminBaseW> real;
        if (HRESULT hr = m_real->CreateInstance(nullptr, IID_IMSAdminBase_W, reinterpret_cast<void**>(real.GetAddressOf()));
            FAILED(hr))
            return hr;
        auto* object = new FaultyAdminBase(m_s, real);
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

private:
    FaultScript& m_s;
    ComPtr<IClassFactory> m_real;
};

}   // namespace

FaultyAdminBaseRegistration::FaultyAdminBaseRegistration(FaultScript& script)
{
    // The real class's factory is fetched before this one stands in for it.
    if (FAILED(::CoGetClassObject(CLSID_MSAdminBase_W, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(m_real.GetAddressOf()))))
        return;
    m_factory = new FaultyFactory(script, m_real);
    if (FAILED(::CoRegisterClassObject(CLSID_MSAdminBase_W, m_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie)))
        m_cookie = 0;
}

FaultyAdminBaseRegistration::~FaultyAdminBaseRegistration()
{
    if (m_cookie)
        ::CoRevokeClassObject(m_cookie);
    if (m_factory)
        m_factory->Release();
}

Microsoft::WRL::ComPtr<IMSAdminBaseW> FaultyAdminBaseRegistration::Unwrapped() const
{
    ComPtr<IMSAdminBaseW> admin;
    if (m_real)
        m_real->CreateInstance(nullptr, IID_IMSAdminBase_W, reinterpret_cast<void**>(admin.GetAddressOf()));
    return admin;
}

}   // namespace zem::ui
