// The COM server itself: registration, class factory, interfaces, unloading.
#include "MetabaseTest.h"

#include <objbase.h>

namespace mdtest {

namespace {

class Server : public MetabaseTest
{
};

std::wstring RegisteredString(const wchar_t* subkey, const wchar_t* name)
{
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof value;
    std::wstring key = std::wstring(L"CLSID\\{A9E69610-B80D-11D0-B9B9-00A0C922E750}") + subkey;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

TEST_F(Server, RegisteredAsAnInProcessServerForEveryApartment)
{
    std::wstring dll = RegisteredString(L"\\InprocServer32", nullptr);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(dll.c_str())) << "registered file: " << std::string(dll.begin(), dll.end());
    EXPECT_EQ(L"Both", RegisteredString(L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_FALSE(RegisteredString(L"", nullptr).empty()) << "the class has a name";
}

TEST_F(Server, ClassFactoryAndObjectFollowTheComRules)
{
    std::wstring dll = RegisteredString(L"\\InprocServer32", nullptr);
    HMODULE module = ::LoadLibraryW(dll.c_str());
    ASSERT_NE(nullptr, module);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);
    EXPECT_NE(nullptr, ::GetProcAddress(module, "DllRegisterServer"));
    EXPECT_NE(nullptr, ::GetProcAddress(module, "DllUnregisterServer"));

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_MSAdminBase_W, IID_IClassFactory, nullptr));

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject(CLSID_MSAdminBase_W, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    // The later interface versions are not offered; the object is not leaked when the answer is no.
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IMSAdminBase2_W, &out));
    EXPECT_EQ(nullptr, out);

    ComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf())));
    ComPtr<IMSAdminBaseW> admin;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IMSAdminBase_W, reinterpret_cast<void**>(admin.GetAddressOf())));
    ComPtr<IUnknown> identity;
    EXPECT_EQ(S_OK, admin.As(&identity));
    EXPECT_EQ(object.Get(), identity.Get()) << "one IUnknown";
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IMSAdminBase3_W, &out));
    EXPECT_EQ(nullptr, out);

    // The DLL stays while anything of it lives or is locked.
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    object.Reset();
    admin.Reset();
    identity.Reset();
    EXPECT_EQ(S_OK, canUnloadNow());
    ASSERT_EQ(S_OK, getClassObject(CLSID_MSAdminBase_W, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    ASSERT_EQ(S_OK, getClassObject(CLSID_MSAdminBase_W, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_OK, canUnloadNow());
    ::FreeLibrary(module);
}

} // namespace

} // namespace mdtest
