#include "Store.h"

#include "MetaXml.h"

#include <vector>

namespace iisadmin {

namespace {

const DWORD kFileMutexTimeoutMs = 30000;
// Replacing fails while another program has the file open; such a reader is done soon.
const int kReplaceAttempts = 40;
const DWORD kReplaceRetryMs = 25;

// The file to open, and the name every process knows it by. A 32-bit process on 64-bit Windows sees
// SysWOW64 as system32; it reaches the one metabase through Sysnative, under the native name.
HRESULT StorePath(std::wstring& path, std::wstring& identity)
{
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = ::GetEnvironmentVariableW(L"ZEM_METABASE_PATH", buffer, ARRAYSIZE(buffer));
    if (length && length < ARRAYSIZE(buffer)) {
        wchar_t full[MAX_PATH * 4];
        DWORD fullLength = ::GetFullPathNameW(buffer, ARRAYSIZE(full), full, nullptr);
        if (!fullLength || fullLength >= ARRAYSIZE(full))
            return fullLength ? HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) : LastErrorResult();
        path = identity = full;
        return S_OK;
    }
    UINT windowsLength = ::GetWindowsDirectoryW(buffer, MAX_PATH);
    if (!windowsLength || windowsLength >= MAX_PATH)
        return LastErrorResult();
    std::wstring windows(buffer, windowsLength);
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    identity = windows + L"\\system32\\inetsrv\\MetaBase.xml";
    path = wow64 ? windows + L"\\Sysnative\\inetsrv\\MetaBase.xml" : identity;
    return S_OK;
}

// Kernel object names for a file: one per file, whatever the spelling of its path.
std::wstring ScopeName(const std::wstring& path)
{
    unsigned long long hash = 14695981039346656037ull; // FNV-1a
    for (wchar_t c : UpperCase(path)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    wsprintfW(name, L"Local\\ZemIisAdmin.%08lx%08lx", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFF));
    return name;
}

// All of bytes on the disk, or the system's reason why not. A full disk takes part of a write and
// reports success; the next write of the rest then fails with ERROR_DISK_FULL.
HRESULT WriteWhole(const std::wstring& path, const std::vector<BYTE>& bytes)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorResult();
    for (size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr))
            return LastErrorResult();
        if (!written)
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        done += written;
    }
    if (!::FlushFileBuffers(file.Get()))
        return LastErrorResult();
    HANDLE handle = file.Detach();
    return ::CloseHandle(handle) ? S_OK : LastErrorResult();
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

bool Store::Stamp::operator==(const Stamp& other) const
{
    // Every write replaces the file, so a new file shows a new creation time even at the same size;
    // size and write time catch editors that rewrite in place.
    if (exists != other.exists)
        return false;
    return !exists || (size == other.size && ::CompareFileTime(&created, &other.created) == 0 &&
                       ::CompareFileTime(&written, &other.written) == 0);
}

HRESULT Store::Get(std::shared_ptr<Store>& store)
{
    std::wstring path, identity;
    HRESULT hr = StorePath(path, identity);
    if (FAILED(hr))
        return hr;
    static std::mutex registryMutex;
    static std::map<std::wstring, std::shared_ptr<Store>> registry;
    std::lock_guard<std::mutex> guard(registryMutex);
    std::wstring scope = ScopeName(identity);
    auto it = registry.find(scope);
    if (it != registry.end()) {
        store = it->second;
        return S_OK;
    }
    auto created = std::make_shared<Store>(path);
    if (FAILED(hr = created->Open(scope)))
        return hr;
    // COM unloads this DLL when the apartment that loaded it ends, and the parsed store would go with
    // it: a client that connects once per call with CoInitialize and CoUninitialize around it (as the
    // program's metabase routines do) would have the whole file parsed on every connection. Once it
    // holds a store, the DLL stays for the life of the process.
    HMODULE self = nullptr;
    if (registry.empty() && !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                                  reinterpret_cast<LPCWSTR>(&Store::Get), &self))
        return LastErrorResult();
    registry[scope] = created;
    store = created;
    return S_OK;
}

HRESULT Store::Open(const std::wstring& scope)
{
    // The file's lock is a named mutex where the key table's is a word spun on (KeyLocks.cpp): a writer
    // holds this one for a whole parse, write and replace, which can take seconds while other programs'
    // handles are waited out. A waiter sleeps in the kernel rather than spinning that long, and the system
    // hands the mutex on when its holder dies inside. It is taken only when the file has changed or is
    // written, so its two wine server round trips are paid seldom; the table's guard is taken on every
    // OpenKey and CloseKey and held for a scan of its slots.
    m_fileMutex.Reset(::CreateMutexW(nullptr, FALSE, (scope + L".file").c_str()));
    if (!m_fileMutex)
        return LastErrorResult();
    return m_locks.Open(scope);
}

HRESULT Store::CurrentStamp(Stamp& stamp) const
{
    // Asked by name, without opening the file: the look every connection and every OpenKey takes costs
    // no handle, and works while another program holds the file without sharing.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = ::GetLastError();
        if (!IsMissing(error))
            return HRESULT_FROM_WIN32(error);
        stamp = Stamp();
        return S_OK;
    }
    stamp = Stamp(data);
    return S_OK;
}

HRESULT Store::Load(Tree& tree, Stamp& stamp, bool& read) const
{
    read = false;
    FileHandle file(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        if (!IsMissing(error))
            return HRESULT_FROM_WIN32(error);
        stamp = Stamp();
        tree = InitialTree();
        read = true;
        return S_OK;
    }
    // Stamp and content from one open file: they belong together even if the file is replaced meanwhile.
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.Get(), &info))
        return LastErrorResult();
    stamp = Stamp(info);
    if (info.nFileSizeHigh)
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    std::vector<BYTE> bytes(info.nFileSizeLow);
    DWORD got = 0;
    if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return LastErrorResult();
    bytes.resize(got);
    read = true;
    // An empty file holds no keys yet, like a missing one.
    if (bytes.empty()) {
        tree = InitialTree();
        return S_OK;
    }
    return ReadMetabase(bytes.data(), bytes.size(), tree);
}

HRESULT Store::Refresh()
{
    // An unchanged file needs neither the file lock nor a read: writers replace the file in one step, so
    // a look between two writes is as good as one taken under the lock.
    Stamp stamp;
    if (m_loaded && SUCCEEDED(CurrentStamp(stamp)) && stamp == m_stamp)
        return m_status;
    MutexHold hold;
    HRESULT hr = hold.Acquire(m_fileMutex.Get(), kFileMutexTimeoutMs);
    if (FAILED(hr))
        return hr;
    return RefreshHoldingFile();
}

HRESULT Store::RefreshHoldingFile()
{
    Stamp stamp;
    HRESULT hr = CurrentStamp(stamp);
    if (FAILED(hr))
        return hr;
    if (m_loaded && stamp == m_stamp)
        return m_status;

    Tree fresh;
    bool read = false;
    hr = Load(fresh, stamp, read);
    // A file that could not be read (held by another program) is tried again next time; one that was
    // read and cannot be parsed stays refused until it changes.
    if (!read)
        return hr;
    m_loaded = true;
    m_stamp = stamp;
    m_status = hr;
    if (FAILED(hr))
        return hr; // the tree in memory stays, unused, until the file can be read again
    // This process's write regions: the file holds them as they were when the lock was taken.
    for (const auto& region : m_writeRegions) {
        const KeyPath& path = region.second;
        Key* mine = FindKey(m_tree.root, path);
        if (!mine || path.empty())
            continue;
        KeyPath parentPath(path.begin(), path.end() - 1);
        Key& parent = EnsureKey(fresh.root, parentPath);
        parent.AdoptChild(std::make_unique<Key>(std::move(*mine)));
    }
    m_tree = std::move(fresh);
    return S_OK;
}

HRESULT Store::Flush()
{
    MutexHold hold;
    HRESULT hr = hold.Acquire(m_fileMutex.Get(), kFileMutexTimeoutMs);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = RefreshHoldingFile()))
        return hr;
    std::vector<BYTE> bytes;
    if (FAILED(hr = WriteMetabase(m_tree, bytes)))
        return hr;
    if (FAILED(hr = WriteFile(bytes)))
        return hr;
    return CurrentStamp(m_stamp);
}

HRESULT Store::WriteFile(const std::vector<BYTE>& bytes)
{
    // The folder (inetsrv) does not exist in a fresh Windows without IIS.
    size_t slash = m_path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && !::CreateDirectoryW(m_path.substr(0, slash).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
        return LastErrorResult();

    // Only a writer holding the file mutex has a temporary file open, so one found here was left by a
    // writer that died: it is overwritten now, and removed whenever this write fails.
    std::wstring temporary = m_path + L".tmp";
    HRESULT hr = WriteWhole(temporary, bytes);
    if (FAILED(hr)) {
        ::DeleteFileW(temporary.c_str());
        return hr;
    }
    // Replacing is one step: a reader sees the old file or the new one, never half of either.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(temporary.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return S_OK;
        DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt + 1 == kReplaceAttempts) {
            ::DeleteFileW(temporary.c_str());
            return HRESULT_FROM_WIN32(error);
        }
        ::Sleep(kReplaceRetryMs);
    }
}

} // namespace iisadmin
