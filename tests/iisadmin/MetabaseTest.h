// Shared by the admin base object's tests: a store file of the test's own (through ZEM_METABASE_PATH,
// which child processes inherit), connections, record helpers, and mdutil as another process.
#pragma once

#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace mdtest {

const HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const HRESULT kAlreadyExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
const HRESULT kPathBusy = HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
const HRESULT kInvalidHandle = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
const HRESULT kInsufficientBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
const HRESULT kNoMoreItems = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
const HRESULT kDataNotFound = static_cast<HRESULT>(MD_ERROR_DATA_NOT_FOUND);
const DWORD R = METADATA_PERMISSION_READ;
const DWORD W = METADATA_PERMISSION_WRITE;
const BYTE kSentinel = 0xCD;

inline std::wstring Hr(HRESULT hr)   // "0x80070003", for failure messages
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The bytes of values as SetData and GetData carry them.
inline std::vector<BYTE> Bytes(const void* p, size_t size)
{
    return std::vector<BYTE>(static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + size);
}
inline std::vector<BYTE> Str(const std::wstring& text) { return Bytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }
inline std::vector<BYTE> Dword(DWORD value) { return Bytes(&value, sizeof value); }
inline std::vector<BYTE> Multi(const std::vector<std::wstring>& entries)
{
    std::wstring joined;
    for (const std::wstring& entry : entries)
        joined += entry + L'\0';
    return Str(joined);
}

// An mdutil.exe beside the test program, its stdout and stderr read back through one pipe.
class MdutilProcess
{
public:
    ~MdutilProcess()
    {
        if (m_process)
            Stop(), ::CloseHandle(m_process);
        if (m_read)
            ::CloseHandle(m_read);
    }
    bool Start(const std::wstring& arguments)
    {
        SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
        HANDLE write = nullptr;
        if (!::CreatePipe(&m_read, &write, &inherit, 0))
            return false;
        ::SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write;
        wchar_t self[MAX_PATH];
        std::wstring folder(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        std::wstring command = L"\"" + folder.substr(0, folder.find_last_of(L'\\')) + L"\\mdutil.exe\" " + arguments;
        PROCESS_INFORMATION info = {};
        // No console at all: under Wine a console of its own outlives a child that is killed, and keeps the
        // prefix's server running.
        BOOL started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                                        nullptr, &startup, &info);
        ::CloseHandle(write);
        if (started)
            ::CloseHandle(info.hThread), m_process = info.hProcess;
        return started;
    }
    // Reads its output until a line starts with prefix; false when it ended first.
    bool WaitForLine(const std::string& prefix)
    {
        while (("\n" + m_output).find("\n" + prefix) == std::string::npos)
            if (!ReadSome())
                return false;
        return true;
    }
    // Kills it unless it has ended; true when it was still running.
    bool Stop()
    {
        if (::WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0)
            return false;
        ::TerminateProcess(m_process, 0xDEAD);
        ::WaitForSingleObject(m_process, INFINITE);
        return true;
    }
    // Reads its output as it comes (a talkative child never blocks on a full pipe) until it ends; past
    // timeoutMs it is killed and 0xFFFFFFFF returned.
    DWORD Wait(DWORD timeoutMs = 60000)
    {
        ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        for (DWORD available = 0, code = 0xFFFFFFFF;;) {
            if (::PeekNamedPipe(m_read, nullptr, 0, nullptr, &available, nullptr) && available) {
                ReadSome();
            } else if (::WaitForSingleObject(m_process, 5) == WAIT_OBJECT_0) {
                while (ReadSome()) {
                }
                ::GetExitCodeProcess(m_process, &code);
                return code;
            } else if (::GetTickCount64() > deadline) {
                Stop();
                return code;
            }
        }
    }
    std::string m_output;   // stdout and stderr together, UTF-8

private:
    bool ReadSome()
    {
        char buffer[512];
        DWORD got = 0;
        if (!::ReadFile(m_read, buffer, sizeof buffer, &got, nullptr) || !got)
            return false;
        m_output.append(buffer, got);
        return true;
    }
    HANDLE m_process = nullptr;
    HANDLE m_read = nullptr;
};

// exitCode stays 0xFFFFFFFF when the process could not start or had to be ended.
struct ProcessResult { DWORD exitCode = 0xFFFFFFFF; std::string output; };

inline ProcessResult RunMdutil(const std::wstring& arguments, DWORD timeoutMs = 60000)
{
    MdutilProcess process;
    ProcessResult result;
    if (process.Start(arguments))
        result.exitCode = process.Wait(timeoutMs);
    result.output = process.m_output;
    return result;
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
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"zemmd-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++counter);
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        UseStore(m_folder + L"\\MetaBase.xml");
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"ZEM_METABASE_PATH", nullptr);
        std::wstring from = m_folder + L'\0';   // a list of paths, ended by an empty one
        SHFILEOPSTRUCTW operation = { nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr };
        ::SHFileOperationW(&operation);
    }

    ComPtr<IMSAdminBaseW> Connect()
    {
        ComPtr<IMSAdminBaseW> admin;
        HRESULT hr = ::CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_ALL, IID_IMSAdminBase_W,
                                        reinterpret_cast<void**>(admin.GetAddressOf()));
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
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC", MD_SERVER_COMMENT, STRING_METADATA, Str(L"Service default")));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC/1", MD_SERVER_COMMENT, STRING_METADATA, Str(L"Default Web Site")));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC/1", MD_SERVER_BINDINGS, MULTISZ_METADATA, Multi({ L":80:", L":8080:" }),
                            METADATA_NO_ATTRIBUTES));
        ASSERT_EQ(S_OK, Set(admin, lm, L"W3SVC/1/ROOT", MD_VR_PATH, STRING_METADATA, Str(L"c:\\inetpub\\wwwroot"),
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

    // The store's paths are plain ASCII (the temporary folder, the small drive).
    std::vector<BYTE> FileBytes() const
    {
        std::ifstream file(std::string(m_path.begin(), m_path.end()), std::ios::binary);
        return std::vector<BYTE>(std::istreambuf_iterator<char>(file), {});
    }
    void WriteStoreFile(const std::string& utf8) const
    {
        EXPECT_TRUE(std::ofstream(std::string(m_path.begin(), m_path.end()), std::ios::binary) << utf8);
    }
    bool TmpLeft() const { return ::GetFileAttributesW((m_path + L".tmp").c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::wstring m_folder;
    std::wstring m_path;   // this test's MetaBase.xml
};

} // namespace mdtest
