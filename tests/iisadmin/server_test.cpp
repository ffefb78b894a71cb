// The COM server itself: class factory, interfaces, unloading.
#include "MetabaseTest.h"

#include <objbase.h>

namespace mdtest {

namespace {

class Server : public MetabaseTest
{
};

TEST_F(Server, ClassFactoryAndObjectFollowTheComRules)
{
    wchar_t dll[MAX_PATH * 2] = {};
    DWORD size = sizeof dll;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{A9E69610-B80D-11D0-B9B9-00A0C922E750}\\InprocServer32",
                                            nullptr, RRF_RT_REG_SZ, nullptr, dll, &size));
    HMODULE module = ::LoadLibraryW(dll);
    ASSERT_NE(nullptr, module);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);

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
    ::FreeLibrary(module);
}

} // namespace

} // namespace mdtest
