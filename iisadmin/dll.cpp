// The COM server: exports, class factory and registration for the classes of this DLL.
#include <initguid.h> // defines the admin base object's class and interface ids in this unit

#include "AdminBase.h"
#include "Module.h"
#include "Win32.h"

#include <windows.h>
#include <iadmw.h>
#include <objbase.h>

#include <new>
#include <string>
#include <wchar.h>

namespace iisadmin {

namespace {

HMODULE g_module = nullptr;
LONG g_locks = 0;

using CreateFunction = HRESULT (*)(REFIID riid, void** ppv);

struct ClassEntry
{
    const CLSID* clsid;
    const wchar_t* description;
    CreateFunction create;
};

const ClassEntry kClasses[] = {
    {&CLSID_MSAdminBase_W, L"IIS Admin Base Object", &AdminBase::Create},
};

// One factory serves every class: it only knows the create function of the class it stands for.
class ClassFactory final : public IClassFactory
{
public:
    explicit ClassFactory(const ClassEntry& entry) : m_entry(entry) { LockModule(); }

    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ::InterlockedIncrement(&m_refs); }
    ULONG WINAPI Release() override
    {
        LONG refs = ::InterlockedDecrement(&m_refs);
        if (!refs)
            delete this;
        return refs;
    }

    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return m_entry.create(riid, ppv);
    }
    HRESULT WINAPI LockServer(BOOL lock) override
    {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    ~ClassFactory() { UnlockModule(); }

    const ClassEntry& m_entry;
    LONG m_refs = 1;
};

// What DllRegisterServer writes for each class, below HKEY_CLASSES_ROOT\CLSID\{clsid}. A null data
// stands for the class's description, kModulePath for this DLL's full path. "Both": the object
// serialises its own calls, so the caller's apartment (a dialog's STA, a worker's MTA) needs no proxy.
const wchar_t kModulePath[] = L"<module>";
struct RegistryValue
{
    const wchar_t* subkey;
    const wchar_t* name;
    const wchar_t* data;
};
const RegistryValue kRegistration[] = {
    {L"", nullptr, nullptr},
    {L"\\InprocServer32", nullptr, kModulePath},
    {L"\\InprocServer32", L"ThreadingModel", L"Both"},
};

HRESULT ClassKey(const ClassEntry& entry, std::wstring& key)
{
    wchar_t clsid[40];
    if (!::StringFromGUID2(*entry.clsid, clsid, ARRAYSIZE(clsid)))
        return E_UNEXPECTED;
    key = std::wstring(L"CLSID\\") + clsid;
    return S_OK;
}

HRESULT ModulePath(std::wstring& path)
{
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = ::GetModuleFileNameW(g_module, buffer, ARRAYSIZE(buffer));
    if (!length)
        return LastErrorResult();
    if (length >= ARRAYSIZE(buffer))
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, length);
    return S_OK;
}

HRESULT Unregister()
{
    for (const ClassEntry& entry : kClasses) {
        std::wstring key;
        HRESULT hr = ClassKey(entry, key);
        if (FAILED(hr))
            return hr;
        LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT Register()
{
    std::wstring module;
    HRESULT hr = ModulePath(module);
    if (FAILED(hr))
        return hr;
    for (const ClassEntry& entry : kClasses) {
        std::wstring classKey;
        if (FAILED(hr = ClassKey(entry, classKey)))
            return hr;
        for (const RegistryValue& value : kRegistration) {
            const wchar_t* data = !value.data ? entry.description : value.data == kModulePath ? module.c_str()
                                                                                              : value.data;
            std::wstring key = classKey + value.subkey;
            LSTATUS status = ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), value.name, REG_SZ, data,
                                               static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t)));
            if (status != ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

} // namespace

void LockModule()
{
    ::InterlockedIncrement(&g_locks);
}

void UnlockModule()
{
    ::InterlockedDecrement(&g_locks);
}

} // namespace iisadmin

using namespace iisadmin;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    // Thread notifications stay on: the static run-time cleans up per-thread data with them.
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (const ClassEntry& entry : kClasses) {
        if (rclsid != *entry.clsid)
            continue;
        ClassFactory* factory = new (std::nothrow) ClassFactory(entry);
        if (!factory)
            return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return g_locks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    // A half-written registration would point COM at a class it cannot complete.
    HRESULT hr = Register();
    if (FAILED(hr))
        Unregister();
    return hr;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    return Unregister();
}
