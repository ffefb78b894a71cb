#include "KeyLocks.h"

#include <mddefw.h>

#include <algorithm>
#include <string.h>

namespace iisadmin {

namespace {

const DWORD kSlotCount = 256;
const size_t kMaxLockPath = 1024; // UTF-16 units with the terminator
const DWORD kPollMs = 10;         // how often a waiting OpenKey looks again
const DWORD kGuardTimeoutMs = 30000;
const DWORD kStuckMs = 200; // how long one holder may keep the guard before anyone asks if it lives

struct Slot
{
    ULONGLONG serial; // 0: free
    DWORD processId;
    DWORD access;
    FILETIME processStart;
    wchar_t path[kMaxLockPath];
};

struct Table
{
    ULONGLONG nextSerial;
    LONGLONG guard; // the token of the process inside the table, 0: nobody
    Slot slots[kSlotCount];
};

// 32-bit and 64-bit processes share the table: its layout must not depend on the build.
static_assert(sizeof(Slot) == 8 + 4 + 4 + 8 + kMaxLockPath * 2, "Slot layout differs between builds");
static_assert(sizeof(Table) == 8 + 8 + kSlotCount * sizeof(Slot), "Table layout differs between builds");

bool OnOneLine(const wchar_t* a, const wchar_t* b)
{
    size_t la = wcslen(a), lb = wcslen(b);
    if (la > lb) {
        std::swap(a, b);
        std::swap(la, lb);
    }
    return wcsncmp(a, b, la) == 0 && (la == lb || b[la] == L'/');
}

FILETIME StartTime(HANDLE process)
{
    FILETIME created = {}, exited, kernel, user;
    ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    return created;
}

// Whether the process with this id and start time (its low half tells a reused id from the owner well
// enough) still runs. A process this one may not query is counted as running: keeping its lock is the
// safe mistake.
bool ProcessRuns(DWORD processId, DWORD startLow, const FILETIME& ownStart)
{
    if (processId == ::GetCurrentProcessId())
        return startLow == ownStart.dwLowDateTime;
    KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    if (::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0)
        return false;
    return StartTime(process.Get()).dwLowDateTime == startLow;
}

bool OwnerRuns(const Slot& slot, const FILETIME& ownStart)
{
    return ProcessRuns(slot.processId, slot.processStart.dwLowDateTime, ownStart);
}

// Keeps other processes out of the table while this one reads or changes it. The guard is a word of the
// table taken with one interlocked exchange: a named mutex cost two wine server round trips on every
// OpenKey and CloseKey, paid again on every connection of a program that reads its sites one by one. The
// table is held for a scan of its slots, so waiting means a few yields; a holder that died inside leaves
// its token behind, and once that token has stood still for kStuckMs the waiter asks whether its process
// still runs and takes the guard over if not, as a named mutex is handed on when its owner dies. The store
// file keeps a named mutex (Store.cpp): it is held for a whole write, far too long to spin on.
class TableGuard
{
public:
    TableGuard(Table& table, const FILETIME& ownStart) : m_table(table), m_ownStart(ownStart) {}
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;
    ~TableGuard()
    {
        if (m_held)
            ::InterlockedExchange64(&m_table.guard, 0);
    }

    HRESULT Acquire()
    {
        const LONGLONG token = static_cast<LONGLONG>(static_cast<ULONGLONG>(::GetCurrentProcessId()) << 32 |
                                                     m_ownStart.dwLowDateTime);
        ULONGLONG start = ::GetTickCount64(), since = start;
        LONGLONG seen = 0;
        for (DWORD round = 0;; ++round) {
            LONGLONG holder = ::InterlockedCompareExchange64(&m_table.guard, token, 0);
            if (!holder || (holder == seen && TakeOverStuck(holder, token, since)))
                return m_held = true, S_OK;
            ULONGLONG now = ::GetTickCount64();
            if (holder != seen) {
                seen = holder;
                since = now;
            }
            if (now - start >= kGuardTimeoutMs)
                return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
            ::Sleep(round < 100 ? 0 : 1);
        }
    }

private:
    bool TakeOverStuck(LONGLONG holder, LONGLONG token, ULONGLONG& since)
    {
        ULONGLONG now = ::GetTickCount64();
        if (now - since < kStuckMs)
            return false;
        since = now; // a live holder is asked again only after another kStuckMs
        DWORD processId = static_cast<DWORD>(static_cast<ULONGLONG>(holder) >> 32);
        if (ProcessRuns(processId, static_cast<DWORD>(holder), m_ownStart))
            return false;
        return ::InterlockedCompareExchange64(&m_table.guard, token, holder) == holder;
    }

    Table& m_table;
    const FILETIME& m_ownStart;
    bool m_held = false;
};

} // namespace

HRESULT KeyLocks::Open(const std::wstring& scope)
{
    m_processStart = StartTime(::GetCurrentProcess());
    // The system zero-fills a new mapping: every slot starts free, whoever creates it.
    m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Table),
                                         (scope + L".keylocks").c_str()));
    if (!m_mapping)
        return LastErrorResult();
    m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Table)));
    if (!m_view)
        return LastErrorResult();
    return S_OK;
}

HRESULT KeyLocks::TryAcquire(const std::wstring& lockPath, DWORD access, LockTicket& ticket)
{
    Table* table = static_cast<Table*>(m_view.Get());
    TableGuard guard(*table, m_processStart);
    HRESULT hr = guard.Acquire();
    if (FAILED(hr))
        return hr;
    Slot* free = nullptr;
    for (Slot& slot : table->slots) {
        if (!slot.serial) {
            if (!free)
                free = &slot;
            continue;
        }
        if (!OnOneLine(slot.path, lockPath.c_str()) || !((slot.access | access) & METADATA_PERMISSION_WRITE))
            continue;
        if (OwnerRuns(slot, m_processStart))
            return HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
        slot.serial = 0;
        if (!free)
            free = &slot;
    }
    if (!free) {
        // Full: room may still be held by processes that have ended without standing in the way.
        for (Slot& slot : table->slots)
            if (!OwnerRuns(slot, m_processStart)) {
                slot.serial = 0;
                free = &slot;
            }
        if (!free)
            return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    }
    free->processId = ::GetCurrentProcessId();
    free->processStart = m_processStart;
    free->access = access;
    wcscpy(free->path, lockPath.c_str());
    // Taken last: a holder that dies halfway leaves the slot free, not half-filled.
    free->serial = ++table->nextSerial;
    ticket.slot = static_cast<DWORD>(free - table->slots);
    ticket.serial = free->serial;
    return S_OK;
}

HRESULT KeyLocks::Acquire(const std::wstring& lockPath, DWORD access, DWORD timeoutMs, LockTicket& ticket)
{
    if (lockPath.size() >= kMaxLockPath)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        HRESULT hr = TryAcquire(lockPath, access, ticket);
        if (hr != HRESULT_FROM_WIN32(ERROR_PATH_BUSY))
            return hr;
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return hr;
        ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kPollMs, deadline - now)));
    }
}

void KeyLocks::Release(LockTicket& ticket)
{
    if (!ticket.serial)
        return;
    Table* table = static_cast<Table*>(m_view.Get());
    TableGuard guard(*table, m_processStart);
    // Should the table stay unreachable, the entry goes when this process ends.
    if (FAILED(guard.Acquire()))
        return;
    Slot& slot = table->slots[ticket.slot];
    if (slot.serial == ticket.serial)
        slot.serial = 0;
    ticket.serial = 0;
}

HRESULT KeyLocks::AnyWriter(bool& found)
{
    Table* table = static_cast<Table*>(m_view.Get());
    TableGuard guard(*table, m_processStart);
    HRESULT hr = guard.Acquire();
    if (FAILED(hr))
        return hr;
    found = false;
    for (Slot& slot : table->slots) {
        if (!slot.serial || !(slot.access & METADATA_PERMISSION_WRITE))
            continue;
        if (OwnerRuns(slot, m_processStart)) {
            found = true;
            return S_OK;
        }
        slot.serial = 0;
    }
    return S_OK;
}

HRESULT KeyLocks::WaitForNoWriters(DWORD timeoutMs)
{
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        bool found = false;
        HRESULT hr = AnyWriter(found);
        if (FAILED(hr))
            return hr;
        if (!found)
            return S_OK;
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
        ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kPollMs, deadline - now)));
    }
}

} // namespace iisadmin
