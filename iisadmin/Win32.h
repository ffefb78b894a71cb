// The one place a Win32 failure becomes an HRESULT in this layer, and the named mutex it holds; the
// handle owners are the program's own (util/UniqueHandle.h).
#pragma once

#include <windows.h>

#include "UniqueHandle.h"

namespace iisadmin {

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
