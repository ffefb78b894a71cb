// One metabase file as this process sees it: the tree in memory, the file it came from, and the locks
// shared with the other processes using the same file. One Store per file and process, kept for the
// life of the process, so a new connection costs no parse while the file is unchanged.
//
// Keeping processes in step: every change is made under a write handle, whose lock covers its key and
// everything below it, and is written out when that handle closes. So on disk is everything except what
// open write handles are changing; in memory is what was on disk at the last look, plus this process's
// open write regions. Looking again (Refresh) re-reads the file only when it is not the one last read,
// and keeps this process's write regions from memory, since no one else can have changed them.
#pragma once

#include "KeyLocks.h"
#include "MetaTree.h"
#include "Win32.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace iisadmin {

class Store
{
public:
    // The store of the file this process uses now: ZEM_METABASE_PATH when set (a test hook: each test
    // gives itself a file of its own), else %SystemRoot%\system32\inetsrv\MetaBase.xml.
    static HRESULT Get(std::shared_ptr<Store>& store);

    // Guards everything below; held by the admin base objects for the length of each call.
    std::mutex& Mutex() { return m_mutex; }

    // The caller holds Mutex() for the rest.
    HRESULT Refresh();
    // Writes the tree to the file (temporary file, then replace), after taking in what other processes
    // wrote since the last look. Never writes over a file that cannot be parsed.
    HRESULT Flush();
    // Why the data cannot be used (the file cannot be parsed), or S_OK.
    HRESULT Status() const { return m_status; }
    Tree& Data() { return m_tree; }

    void AddWriteRegion(ULONGLONG serial, const KeyPath& path) { m_writeRegions[serial] = path; }
    void RemoveWriteRegion(ULONGLONG serial) { m_writeRegions.erase(serial); }

    KeyLocks& Locks() { return m_locks; }

    explicit Store(std::wstring path) : m_path(std::move(path)) {}

private:
    struct Stamp
    {
        Stamp() = default;
        // From either of the system's file information records, which name these fields alike.
        template <typename Info>
        explicit Stamp(const Info& info)
            : exists(true), size(static_cast<ULONGLONG>(info.nFileSizeHigh) << 32 | info.nFileSizeLow), created(info.ftCreationTime), written(info.ftLastWriteTime)
        {
        }
        bool exists = false;
        ULONGLONG size = 0;
        FILETIME created = {};
        FILETIME written = {};
        bool operator==(const Stamp& other) const;
    };

    HRESULT Open(const std::wstring& scope);
    HRESULT CurrentStamp(Stamp& stamp) const;
    HRESULT RefreshHoldingFile();
    HRESULT Load(Tree& tree, Stamp& stamp, bool& read) const;
    HRESULT WriteFile(const std::vector<BYTE>& bytes);

    std::wstring m_path;
    std::mutex m_mutex;
    KernelHandle m_fileMutex; // one reader or writer of the file at a time, across processes
    KeyLocks m_locks;
    bool m_loaded = false;
    Stamp m_stamp;
    HRESULT m_status = S_OK;
    Tree m_tree;
    std::map<ULONGLONG, KeyPath> m_writeRegions;
};

} // namespace iisadmin
