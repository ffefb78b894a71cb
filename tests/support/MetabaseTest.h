// The metabase side of the test library: a store file of the test's own (through ZEM_METABASE_PATH, which
// child processes inherit), connections, record helpers, and mdutil as another process.
#pragma once

#include <gtest/gtest.h>

#include "MetabaseConnection.h"
#include "UiDriver.h"

#include <atomic>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace zem::ui {

// mdutil beside the test, with this process's environment (and so its store).
inline RunResult RunMdutil(const std::wstring& arguments, Millis timeout = Millis{ 60000 })
{
    return Run(ExeFolder() + L"mdutil.exe", arguments, timeout);
}
inline DriverProcess StartMdutil(const std::wstring& arguments)
{
    StartOptions options;
    options.arguments = arguments;
    options.captureOutput = true;
    return DriverProcess::Start(ExeFolder() + L"mdutil.exe", options);
}

const DWORD R = METADATA_PERMISSION_READ;
const DWORD W = METADATA_PERMISSION_WRITE;
const BYTE kSentinel = 0xCD;

inline std::wstring Hr(HRESULT hr)   // "0x80070003", for failure messages
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

struct Value
{
    HRESULT hr = E_FAIL;
    METADATA_RECORD record = {};
    std::vector<BYTE> data;   // the bytes returned, record.dwMDDataLen of them
};

// A fresh MetaBase.xml path for each test, in a folder of its own that goes with the test.
class MetabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static std::atomic<int> counter{ 0 };
        m_folder = PathArg(FreshFolder("md" + std::to_string(++counter))).wide;
        m_folder.pop_back();
        UseStore(m_folder + L"\\MetaBase.xml");
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"ZEM_METABASE_PATH", nullptr);
        RemoveTree(m_folder);
    }

    ComPtr<IMSAdminBaseW> Connect()
    {
        ComPtr<IMSAdminBaseW> admin;
        HRESULT hr = CreateAdminBase(admin);
        EXPECT_EQ(S_OK, hr) << "CoCreateInstance " << Hr(hr);
        return admin;
    }
    // Points this process (and the processes it starts) at another file; the next connection uses it.
    void UseStore(const std::wstring& path)
    {
        m_path = path;
        ::SetEnvironmentVariableW(L"ZEM_METABASE_PATH", m_path.c_str());
    }

    // Site 1 as IIS sets it up ("Default Web Site", :80: and :8080:, c:\inetpub\wwwroot) plus a
    // description on /LM/W3SVC that sites inherit when they have none.
    void SeedSites(IMSAdminBaseW* admin)
    {
        METADATA_HANDLE lm;
        ASSERT_EQ(S_OK, Open(admin, L"/LM", W, lm));
        ASSERT_EQ(S_OK, admin->AddKey(lm, L"W3SVC/1/ROOT"));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC", MD_SERVER_COMMENT, STRING_METADATA, StringBytes(L"Service default")));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC/1", MD_SERVER_COMMENT, STRING_METADATA, StringBytes(L"Default Web Site")));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC/1", MD_SERVER_BINDINGS, MULTISZ_METADATA, MultiStringBytes({ L":80:", L":8080:" }),
                            METADATA_NO_ATTRIBUTES));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC/1/ROOT", MD_VR_PATH, STRING_METADATA, StringBytes(L"c:\\inetpub\\wwwroot"),
                            METADATA_INHERIT, IIS_MD_UT_FILE));
        ASSERT_EQ(S_OK, admin->CloseKey(lm));
    }

    HRESULT Open(IMSAdminBaseW* admin, const wchar_t* path, DWORD access, METADATA_HANDLE& handle,
                 DWORD timeoutMs = 0, METADATA_HANDLE base = METADATA_MASTER_ROOT_HANDLE)
    {
        handle = 0xCDCDCDCD;
        return admin->OpenKey(base, path, access, timeoutMs, &handle);
    }
    HRESULT Set(IMSAdminBaseW* admin, METADATA_HANDLE handle, const wchar_t* path, DWORD id, DWORD dataType,
                std::vector<BYTE> data, DWORD attributes = METADATA_INHERIT, DWORD userType = IIS_MD_UT_SERVER)
    {
        METADATA_RECORD record = { id, attributes, userType, dataType, static_cast<DWORD>(data.size()), data.data(), 0 };
        return admin->SetData(handle, path, &record);
    }
    // GetData into a sentinel-filled buffer of 600 bytes.
    Value Get(IMSAdminBaseW* admin, METADATA_HANDLE handle, const wchar_t* path, DWORD id,
              DWORD attributes = METADATA_NO_ATTRIBUTES, DWORD dataType = ALL_METADATA)
    {
        Value value;
        std::vector<BYTE> buffer(600, kSentinel);
        value.record = { id, attributes, IIS_MD_UT_SERVER, dataType, 600, buffer.data(), 0 };
        DWORD required = 0;
        value.hr = admin->GetData(handle, path, &value.record, &required);
        if (SUCCEEDED(value.hr))
            value.data.assign(buffer.begin(), buffer.begin() + value.record.dwMDDataLen);
        value.record.pbMDData = nullptr;
        return value;
    }
    std::vector<std::wstring> ChildNames(IMSAdminBaseW* admin, const wchar_t* path)
    {
        std::vector<std::wstring> names;
        wchar_t name[METADATA_MAX_NAME_LEN];
        for (DWORD i = 0; admin->EnumKeys(METADATA_MASTER_ROOT_HANDLE, path, name, i) == S_OK; ++i)
            names.push_back(name);
        return names;
    }

    std::vector<BYTE> FileBytes() const
    {
        std::string bytes = ReadTextFile(m_path);
        return std::vector<BYTE>(bytes.begin(), bytes.end());
    }
    void WriteStoreFile(const std::string& utf8) const { EXPECT_TRUE(WriteTextFile(m_path, utf8)); }
    bool TmpLeft() const { return ::GetFileAttributesW((m_path + L".tmp").c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::wstring m_folder;
    std::wstring m_path;   // this test's MetaBase.xml
};

}   // namespace zem::ui
