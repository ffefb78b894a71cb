// One owner for every handle the program and its platform stand-ins hold: the traits say what "none"
// is and how the handle is given back, so each kind of handle is closed exactly once, on every path.
#pragma once

#include <windows.h>
#include <objbase.h>

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

// CreateFile and FindFirstFile-style calls report failure with INVALID_HANDLE_VALUE, not null.
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

// Buffers the system allocates with LocalAlloc (FormatMessage's among them).
struct LocalMemoryTraits
{
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { ::LocalFree(p); }
};

// A window this code created and must destroy (never one it was only handed).
struct WindowTraits
{
    using Type = HWND;
    static HWND Invalid() { return nullptr; }
    static void Close(HWND h) { ::DestroyWindow(h); }
};

// Memory from the COM task allocator, which is also the shell's (item lists among it).
struct TaskMemoryTraits
{
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { ::CoTaskMemFree(p); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using OwnedWindow = UniqueHandle<WindowTraits>;
using TaskMemory = UniqueHandle<TaskMemoryTraits>;
