// The key locks of one store, shared by every process that uses it: a table of open handles in a named
// file mapping, guarded by a word of its own. Two handles conflict when their keys lie on one line of
// descent (the same key, or one an ancestor of the other) and at least one of them may write.
//
// Each entry records its process (id and start time). An entry whose process has ended is dropped the
// next time it stands in the way, so a process that dies while holding keys leaves nothing locked; the
// start time tells a reused process id from the owner.
#pragma once

#include "Win32.h"

#include <string>

namespace iisadmin {

struct LockTicket
{
    DWORD slot = 0;
    ULONGLONG serial = 0; // 0: holds nothing
};

class KeyLocks
{
public:
    // scope names the store: stores in different files never share locks.
    HRESULT Open(const std::wstring& scope);

    // Takes a lock on lockPath (LockPath's form) for access (METADATA_PERMISSION_READ/WRITE bits),
    // waiting up to timeoutMs for conflicting handles to close; HRESULT_FROM_WIN32(ERROR_PATH_BUSY)
    // when they are still open then. A timeout of 0 checks once.
    HRESULT Acquire(const std::wstring& lockPath, DWORD access, DWORD timeoutMs, LockTicket& ticket);
    void Release(LockTicket& ticket);

    // Waits up to timeoutMs until no handle with write access is open anywhere.
    HRESULT WaitForNoWriters(DWORD timeoutMs);

private:
    HRESULT TryAcquire(const std::wstring& lockPath, DWORD access, LockTicket& ticket);
    HRESULT AnyWriter(bool& found);

    KernelHandle m_mapping;
    MappedView m_view;
    FILETIME m_processStart = {};
};

} // namespace iisadmin
