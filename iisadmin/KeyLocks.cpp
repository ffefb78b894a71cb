#include "KeyLocks.h"

#include <mddefw.h>

#include <algorithm>
#include <string.h>

namespace iisadmin {

namespace {

const DWORD kSlotCount = 256;
const size_t kMaxLockPath = 1024;       // UTF-16 units with the terminator
const DWORD kPollMs = 10;               // how often a waiting OpenKey looks again
const DWORD kTableMutexTimeoutMs = 30000;

struct Slot
{
    ULONGLONG serial;                   // 0: free
    DWORD processId;
    DWORD access;
    FILETIME processStart;
    wchar_t path[kMaxLockPath];
};

struct Table
{
    ULONGLONG nextSerial;
    Slot slots[kSlotCount];
};

// 32-bit and 64-bit processes share the table: its layout must not depend on the build.
static_assert(sizeof(Slot) == 8 + 4 + 4 + 8 + kMaxLockPath * 2, "Slot layout differs between builds");
static_assert(sizeof(Table) == 8 + kSlotCount * sizeof(Slot), "Table layout differs between builds");

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

// Whether the process that took the slot still runs. A process this one may not query is counted
// as running: keeping its lock is the safe mistake.
bool OwnerRuns(const Slot& slot, const FILETIME& ownStart)
{
    if (slot.processId == ::GetCurrentProcessId())
        return ::CompareFileTime(&slot.processStart, &ownStart) == 0;
    KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, slot.processId));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    if (::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0)
        return false;
    FILETIME start = StartTime(process.Get());
    return ::CompareFileTime(&start, &slot.processStart) == 0;
}

} // namespace

HRESULT KeyLocks::Open(const std::wstring& scope)
{
    m_processStart = StartTime(::GetCurrentProcess());
    m_mutex.Reset(::CreateMutexW(nullptr, FALSE, (scope + L".locktable").c_str()));
    if (!m_mutex)
        return LastErrorResult();
    // The system zero-fills a new mapping: every slot starts free, whoever creates it.
    m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Table),
                                         (scope + L".locks").c_str()));
    if (!m_mapping)
        return LastErrorResult();
    m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Table)));
    if (!m_view)
        return LastErrorResult();
    return S_OK;
}

HRESULT KeyLocks::TryAcquire(const std::wstring& lockPath, DWORD access, LockTicket& ticket)
{
    MutexHold hold;
    HRESULT hr = hold.Acquire(m_mutex.Get(), kTableMutexTimeoutMs);
    if (FAILED(hr))
        return hr;
    Table* table = static_cast<Table*>(m_view.Get());
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
    MutexHold hold;
    // Should the table stay unreachable, the entry goes when this process ends.
    if (FAILED(hold.Acquire(m_mutex.Get(), kTableMutexTimeoutMs)))
        return;
    Slot& slot = static_cast<Table*>(m_view.Get())->slots[ticket.slot];
    if (slot.serial == ticket.serial)
        slot.serial = 0;
    ticket.serial = 0;
}

HRESULT KeyLocks::AnyWriter(bool& found)
{
    MutexHold hold;
    HRESULT hr = hold.Acquire(m_mutex.Get(), kTableMutexTimeoutMs);
    if (FAILED(hr))
        return hr;
    found = false;
    for (Slot& slot : static_cast<Table*>(m_view.Get())->slots) {
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
