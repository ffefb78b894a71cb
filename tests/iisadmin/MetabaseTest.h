// Shared by the admin base object's tests: a store file of the test's own (through ZEM_METABASE_PATH,
// which child processes inherit), connections, record helpers, and mdutil as another process.
#pragma once

#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

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
const HRESULT kInvalidName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
const HRESULT kDataNotFound = static_cast<HRESULT>(MD_ERROR_DATA_NOT_FOUND);
const HRESULT kCannotRemoveSecure = static_cast<HRESULT>(MD_ERROR_CANNOT_REMOVE_SECURE_ATTRIBUTE);
const DWORD R = METADATA_PERMISSION_READ;
const DWORD W = METADATA_PERMISSION_WRITE;
const BYTE kSentinel = 0xCD;

std::wstring Hr(HRESULT hr);   // "0x80070003", for failure messages

// The bytes of values as SetData and GetData carry them.
std::vector<BYTE> Str(const std::wstring& text);
std::vector<BYTE> Multi(const std::vector<std::wstring>& entries);
std::vector<BYTE> Dword(DWORD value);

struct Value
{
    HRESULT hr = E_FAIL;
    METADATA_RECORD record = {};
    std::vector<BYTE> data;   // the bytes returned, record.dwMDDataLen of them
};

struct ProcessResult
{
    DWORD exitCode = 0xFFFFFFFF;   // stays so when the process had to be ended
    std::string output;            // stdout and stderr together, UTF-8
};

// mdutil.exe beside the test program, run to its end or for timeoutMs at most.
ProcessResult RunMdutil(const std::wstring& arguments, DWORD timeoutMs = 60000);

// An mdutil that runs beside the test (hold, or a writer to be killed), its output piped back.
class MdutilProcess
{
public:
    MdutilProcess() = default;
    MdutilProcess(const MdutilProcess&) = delete;
    MdutilProcess& operator=(const MdutilProcess&) = delete;
    ~MdutilProcess();
    bool Start(const std::wstring& arguments);
    // Reads its output until a line starts with prefix; false when it ended first.
    bool WaitForLine(const std::string& prefix);
    // Kills it unless it has ended; true when it was still running.
    bool Stop();
    // Reads its output as it comes until it ends; past timeoutMs it is killed and 0xFFFFFFFF returned.
    DWORD Wait(DWORD timeoutMs = 60000);
    const std::string& Output() const { return m_output; }

private:
    HANDLE m_process = nullptr;
    HANDLE m_read = nullptr;
    std::string m_output;
};

// A fresh MetaBase.xml path for each test, in a folder of its own that goes with the test.
class MetabaseTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    ComPtr<IMSAdminBaseW> Connect();
    // Points this process (and the processes it starts) at another file; the next connection uses it.
    void UseStore(const std::wstring& path);

    // Site 1 as IIS sets it up ("Default Web Site", :80: and :8080:, c:\inetpub\wwwroot) plus a
    // description on /LM/W3SVC that sites inherit when they have none.
    void SeedSites(IMSAdminBaseW* admin);

    HRESULT Open(IMSAdminBaseW* admin, const wchar_t* path, DWORD access, METADATA_HANDLE& handle,
                 DWORD timeoutMs = 0, METADATA_HANDLE base = METADATA_MASTER_ROOT_HANDLE);
    HRESULT Set(IMSAdminBaseW* admin, METADATA_HANDLE handle, const wchar_t* path, DWORD id, DWORD dataType,
                const std::vector<BYTE>& data, DWORD attributes = METADATA_INHERIT, DWORD userType = IIS_MD_UT_SERVER);
    // GetData into a sentinel-filled buffer of capacity bytes.
    Value Get(IMSAdminBaseW* admin, METADATA_HANDLE handle, const wchar_t* path, DWORD id,
              DWORD attributes = METADATA_NO_ATTRIBUTES, DWORD dataType = ALL_METADATA, DWORD capacity = 600);
    std::vector<std::wstring> ChildNames(IMSAdminBaseW* admin, const wchar_t* path);

    std::vector<BYTE> FileBytes() const;
    void WriteStoreFile(const std::string& utf8) const;
    bool StoreFileExists() const;

    std::wstring m_folder;
    std::wstring m_path;   // this test's MetaBase.xml
};

} // namespace mdtest
