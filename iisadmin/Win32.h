// RAII owners for the kernel objects this layer holds, and the one place a Win32 failure becomes an
// HRESULT.
#pragma once

#include <windows.h>

namespace iisadmin {

template <typename Traits>
class UniqueHandle
{
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : m_h(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        Reset(other.Detach());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Type Get() const { return m_h; }
    explicit operator bool() const { return m_h != Traits::Invalid(); }
    void Reset(Type h = Traits::Invalid())
    {
        if (m_h != Traits::Invalid())
            Traits::Close(m_h);
        m_h = h;
    }
    Type Detach()
    {
        Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

private:
    Type m_h = Traits::Invalid();
};

struct KernelHandleTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};

// CreateFile reports failure with INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};

struct MappedViewTraits
{
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { ::UnmapViewOfFile(p); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;

// The calling thread's last error as an HRESULT; E_FAIL when a function failed without setting one.
inline HRESULT LastErrorResult()
{
    DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// A named mutex held until the end of the scope. A holder that died leaves the mutex abandoned: the
// next waiter owns it then, which is what lets a crashed process never block the others for good.
class MutexHold
{
public:
    MutexHold() = default;
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    ~MutexHold()
    {
        if (m_mutex)
            ::ReleaseMutex(m_mutex);
    }

    HRESULT Acquire(HANDLE mutex, DWORD timeoutMs)
    {
        DWORD wait = ::WaitForSingleObject(mutex, timeoutMs);
        if (wait == WAIT_TIMEOUT)
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        if (wait == WAIT_FAILED)
            return LastErrorResult();
        m_mutex = mutex;
        return S_OK;
    }

private:
    HANDLE m_mutex = nullptr;
};

} // namespace iisadmin
