#include <initguid.h>   // defines the admin base object's class and interface ids in this unit

#include "MetabaseTest.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>

namespace mdtest {

namespace {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

void RemoveTree(const std::wstring& folder)
{
    std::wstring from = folder + L'\0';   // a list of paths, ended by an empty one
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&operation);
}

// Starts mdutil with stdout and stderr on one pipe; only the child's end is inheritable.
bool StartProcess(const std::wstring& arguments, HANDLE& process, HANDLE& read)
{
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, &inherit, 0))
        return false;
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = write;
    startup.hStdError = write;
    std::wstring command = L"\"" + ProgramFolder() + L"mdutil.exe\" " + arguments;
    PROCESS_INFORMATION info = {};
    // No console at all: under Wine a console of its own outlives a child that is killed, and keeps the
    // prefix's server running.
    BOOL started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                    &startup, &info);
    ::CloseHandle(write);
    if (!started) {
        ::CloseHandle(read);
        read = nullptr;
        return false;
    }
    ::CloseHandle(info.hThread);
    process = info.hProcess;
    return true;
}

bool ReadSome(HANDLE read, std::string& output)
{
    char buffer[512];
    DWORD got = 0;
    if (!::ReadFile(read, buffer, sizeof buffer, &got, nullptr) || !got)
        return false;
    output.append(buffer, got);
    return true;
}

} // namespace

std::wstring Hr(HRESULT hr)
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::vector<BYTE> Str(const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> Multi(const std::vector<std::wstring>& entries)
{
    std::vector<BYTE> data;
    for (const std::wstring& entry : entries) {
        std::vector<BYTE> bytes = Str(entry);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::vector<BYTE> Dword(DWORD value)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(bytes, bytes + sizeof value);
}

ProcessResult RunMdutil(const std::wstring& arguments, DWORD timeoutMs)
{
    MdutilProcess process;
    ProcessResult result;
    if (process.Start(arguments))
        result.exitCode = process.Wait(timeoutMs);
    result.output = process.Output();
    return result;
}

MdutilProcess::~MdutilProcess()
{
    if (m_process) {
        Stop();
        ::CloseHandle(m_process);
    }
    if (m_read)
        ::CloseHandle(m_read);
}

bool MdutilProcess::Start(const std::wstring& arguments)
{
    return StartProcess(arguments, m_process, m_read);
}

bool MdutilProcess::WaitForLine(const std::string& prefix)
{
    for (;;) {
        size_t line = 0;
        while (line < m_output.size()) {
            if (m_output.compare(line, prefix.size(), prefix) == 0)
                return true;
            size_t next = m_output.find('\n', line);
            if (next == std::string::npos)
                break;
            line = next + 1;
        }
        if (!ReadSome(m_read, m_output))
            return false;
    }
}

bool MdutilProcess::Stop()
{
    if (::WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0)
        return false;
    ::TerminateProcess(m_process, 0xDEAD);
    ::WaitForSingleObject(m_process, INFINITE);
    return true;
}

DWORD MdutilProcess::Wait(DWORD timeoutMs)
{
    // Output is read as it comes, so a talkative child never blocks on a full pipe.
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD available = 0, code = 0xFFFFFFFF;
        if (::PeekNamedPipe(m_read, nullptr, 0, nullptr, &available, nullptr) && available) {
            ReadSome(m_read, m_output);
        } else if (::WaitForSingleObject(m_process, 5) == WAIT_OBJECT_0) {
            while (ReadSome(m_read, m_output)) {
            }
            ::GetExitCodeProcess(m_process, &code);
            return code;
        } else if (::GetTickCount64() > deadline) {
            Stop();
            return code;
        }
    }
}

void MetabaseTest::SetUp()
{
    static std::atomic<int> counter{ 0 };
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    m_folder = std::wstring(temp) + L"zemmd-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter) + L"-" + std::wstring(name.begin(), name.end());
    ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
    UseStore(m_folder + L"\\MetaBase.xml");
}

void MetabaseTest::TearDown()
{
    ::SetEnvironmentVariableW(L"ZEM_METABASE_PATH", nullptr);
    RemoveTree(m_folder);
}

void MetabaseTest::UseStore(const std::wstring& path)
{
    m_path = path;
    ::SetEnvironmentVariableW(L"ZEM_METABASE_PATH", m_path.c_str());
}

ComPtr<IMSAdminBaseW> MetabaseTest::Connect()
{
    ComPtr<IMSAdminBaseW> admin;
    HRESULT hr = ::CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_ALL, IID_IMSAdminBase_W,
                                    reinterpret_cast<void**>(admin.GetAddressOf()));
    EXPECT_EQ(S_OK, hr) << "CoCreateInstance " << Hr(hr);
    return admin;
}

HRESULT MetabaseTest::Open(IMSAdminBaseW* admin, const wchar_t* path, DWORD access, METADATA_HANDLE& handle,
                           DWORD timeoutMs, METADATA_HANDLE base)
{
    handle = 0xCDCDCDCD;
    return admin->OpenKey(base, path, access, timeoutMs, &handle);
}

HRESULT MetabaseTest::Set(IMSAdminBaseW* admin, METADATA_HANDLE handle, const wchar_t* path, DWORD id, DWORD dataType,
                          const std::vector<BYTE>& data, DWORD attributes, DWORD userType)
{
    METADATA_RECORD record = {};
    record.dwMDIdentifier = id;
    record.dwMDAttributes = attributes;
    record.dwMDUserType = userType;
    record.dwMDDataType = dataType;
    record.dwMDDataLen = static_cast<DWORD>(data.size());
    record.pbMDData = const_cast<BYTE*>(data.data());
    return admin->SetData(handle, path, &record);
}

Value MetabaseTest::Get(IMSAdminBaseW* admin, METADATA_HANDLE handle, const wchar_t* path, DWORD id, DWORD attributes,
                        DWORD dataType, DWORD capacity)
{
    Value value;
    std::vector<BYTE> buffer(capacity, kSentinel);
    value.record.dwMDIdentifier = id;
    value.record.dwMDAttributes = attributes;
    value.record.dwMDUserType = IIS_MD_UT_SERVER;
    value.record.dwMDDataType = dataType;
    value.record.dwMDDataLen = capacity;
    value.record.pbMDData = buffer.data();
    DWORD required = 0;
    value.hr = admin->GetData(handle, path, &value.record, &required);
    if (SUCCEEDED(value.hr))
        value.data.assign(buffer.begin(), buffer.begin() + value.record.dwMDDataLen);
    value.record.pbMDData = nullptr;
    return value;
}

std::vector<std::wstring> MetabaseTest::ChildNames(IMSAdminBaseW* admin, const wchar_t* path)
{
    std::vector<std::wstring> names;
    wchar_t name[METADATA_MAX_NAME_LEN];
    for (DWORD i = 0; admin->EnumKeys(METADATA_MASTER_ROOT_HANDLE, path, name, i) == S_OK; ++i)
        names.push_back(name);
    return names;
}

void MetabaseTest::SeedSites(IMSAdminBaseW* admin)
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

std::vector<BYTE> MetabaseTest::FileBytes() const
{
    std::vector<BYTE> bytes;
    HANDLE file = ::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(::GetFileSize(file, nullptr));
    DWORD read = 0;
    ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    ::CloseHandle(file);
    return bytes;
}

void MetabaseTest::WriteStoreFile(const std::string& utf8) const
{
    HANDLE file = ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
}

bool MetabaseTest::StoreFileExists() const
{
    return ::GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace mdtest
