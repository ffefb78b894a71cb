// mdutil.exe beside the calling program as another process, and the removal of a folder tree: shared by
// the benchmarks, the in-process tests and the admin base object's tests.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "UniqueHandle.h"

#include <string>

namespace zem::tools {

// A file or a folder with all it holds, read-only files included.
inline void RemoveTree(const std::wstring& path)
{
    std::wstring from = path + L'\0';   // a list of paths, ended by an empty one
    SHFILEOPSTRUCTW operation = { nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr };
    ::SHFileOperationW(&operation);
}

// An mdutil.exe beside the calling program, its stdout and stderr read back through one pipe.
class MdutilProcess
{
public:
    ~MdutilProcess()
    {
        if (m_process)
            Stop();
    }
    bool Start(const std::wstring& arguments)
    {
        SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
        KernelHandle write;
        if (!::CreatePipe(m_read.Put(), write.Put(), &inherit, 0))
            return false;
        ::SetHandleInformation(m_read.Get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write.Get();
        wchar_t self[MAX_PATH];
        std::wstring folder(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        std::wstring command = L"\"" + folder.substr(0, folder.find_last_of(L'\\')) + L"\\mdutil.exe\" " + arguments;
        PROCESS_INFORMATION info = {};
        // No console at all: under Wine a console of its own outlives a child that is killed, and keeps the
        // prefix's server running.
        BOOL started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                                        nullptr, &startup, &info);
        write.Reset();
        KernelHandle thread(info.hThread);
        m_process.Reset(info.hProcess);
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
        if (::WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0)
            return false;
        ::TerminateProcess(m_process.Get(), 0xDEAD);
        ::WaitForSingleObject(m_process.Get(), INFINITE);
        return true;
    }
    // Reads its output as it comes (a talkative child never blocks on a full pipe) until it ends; past
    // timeoutMs it is killed and 0xFFFFFFFF returned.
    DWORD Wait(DWORD timeoutMs = 60000)
    {
        ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        for (DWORD available = 0, code = 0xFFFFFFFF;;) {
            if (::PeekNamedPipe(m_read.Get(), nullptr, 0, nullptr, &available, nullptr) && available) {
                ReadSome();
            } else if (::WaitForSingleObject(m_process.Get(), 5) == WAIT_OBJECT_0) {
                while (ReadSome()) {
                }
                ::GetExitCodeProcess(m_process.Get(), &code);
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
        if (!::ReadFile(m_read.Get(), buffer, sizeof buffer, &got, nullptr) || !got)
            return false;
        m_output.append(buffer, got);
        return true;
    }
    KernelHandle m_process;
    KernelHandle m_read;
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

} // namespace zem::tools
