// One owner for every handle the program and its platform stand-ins hold: the traits say what "none"
// is and how the handle is given back, so each kind of handle is closed exactly once, on every path.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ole2.h>

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
    // For a function that hands out a handle through a pointer: the one held is given back first.
    Type* Put()
    {
        Reset();
        return &m_h;
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

// FindFirstFile's search, which only FindClose ends.
struct FindHandleTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};

// A window's device context from GetDC: ReleaseDC needs the window it came from, so the handle is the pair.
// A context is none when it has no DC, whichever window was asked.
struct WindowDC
{
    HWND hWnd;
    HDC hDC;
    bool operator!=(const WindowDC& other) const { return hDC != other.hDC; }
};
struct WindowDCTraits
{
    using Type = WindowDC;
    static WindowDC Invalid() { return { nullptr, nullptr }; }
    static void Close(WindowDC dc) { ::ReleaseDC(dc.hWnd, dc.hDC); }
};

// Whether this thread's CoInitialize (or OleInitialize) succeeded, so that it is balanced exactly once; a
// thread already in another apartment is refused, and uninitialising there would undo its owner's work.
struct ComApartmentTraits
{
    using Type = bool;
    static bool Invalid() { return false; }
    static void Close(bool) { ::CoUninitialize(); }
};
struct OleApartmentTraits
{
    using Type = bool;
    static bool Invalid() { return false; }
    static void Close(bool) { ::OleUninitialize(); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using OwnedWindow = UniqueHandle<WindowTraits>;
using TaskMemory = UniqueHandle<TaskMemoryTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using WindowDCHandle = UniqueHandle<WindowDCTraits>;
using ComApartment = UniqueHandle<ComApartmentTraits>;
using OleApartment = UniqueHandle<OleApartmentTraits>;

// The context of hWnd (the screen's for null), released with its owner.
inline WindowDCHandle GetWindowDCHandle(HWND hWnd) { return WindowDCHandle({ hWnd, ::GetDC(hWnd) }); }
