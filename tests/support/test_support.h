// The in-process side of the test library: code pages, the catalogue's texts filled in by hand, files
// held open by others, and the real main dialog run on a thread of its own. Test files use the library's
// names unqualified.
#pragma once

#include "MetabaseTest.h"
#include "Text.h"
#include "WebInstallDlg.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zem::ui {

// Whether the process runs in a double-byte code page (936, 950), where 0x5C can be a trail byte.
inline bool IsDoubleByteCodePage()
{
    CPINFO info = {};
    return ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
}

// A double-byte character whose trail byte is a backslash in both 936 and 950; two characters in 1252.
#define DBCS_5C "\xD5\x5C"

inline std::string Arg(const char* text)
{
    return text;
}
inline std::string Arg(const std::string& text) { return text; }
inline std::string Arg(long long number) { return std::to_string(number); }

// A catalogue string as this test's own copy of the catalogue holds it, each %s and %d replaced in turn
// by the next argument.
template <typename... Args>
std::string Msg(UINT nID, Args... args)
{
    char szFormat[1024] = {};
    ::LoadStringA(::GetModuleHandleA(nullptr), nID, szFormat, sizeof(szFormat));
    std::string text = szFormat;
    size_t at = 0;
    for (const std::string& value : std::vector<std::string>{ Arg(args)... })
        if ((at = text.find('%', at)) != std::string::npos)
            text.replace(at, 2, value), at += value.size();
    return text;
}

// The line the program logs for a failed copy, with the system's own text for the code.
inline std::string ErrorLine(DWORD code)
{
    char szText[512] = {};
    DWORD cch = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, szText,
                                 sizeof(szText), nullptr);
    return "Error[" + std::to_string(code) + "]: " + std::string(szText, cch);
}

inline bool IsDirectory(const std::string& path)
{
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The names in a folder (files and folders), sorted, joined by '|': leftovers show up here.
inline std::string FolderListing(const std::string& dir)
{
    std::vector<std::string> all;
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA((dir + "*").c_str(), &data));
    for (bool more = bool(find); more; more = ::FindNextFileA(find.Get(), &data))
        if (strcmp(data.cFileName, ".") && strcmp(data.cFileName, ".."))
            all.push_back(data.cFileName);
    std::sort(all.begin(), all.end());
    std::string names;
    for (size_t i = 0; i < all.size(); ++i)
        names += (i ? "|" : "") + all[i];
    return names;
}

// A file held open by someone else, as a web server, a download or a scanner holds a published file:
// shared for reading, and for deleting unless told otherwise; let go after ms, or when this ends
// (INFINITE). An empty path holds nothing.
class HeldFile
{
public:
    HeldFile(const std::string& path, DWORD ms, DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE)
    {
        if (path.empty())
            return;
        FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
        m_holder = std::thread([this, file = std::move(file), ms] { ::WaitForSingleObject(m_stop.Get(), ms); });
    }
    HeldFile(const HeldFile&) = delete;
    ~HeldFile()
    {
        ::SetEvent(m_stop.Get());
        if (m_holder.joinable())
            m_holder.join();
    }

private:
    KernelHandle m_stop{ ::CreateEventA(nullptr, TRUE, FALSE, nullptr) };
    std::thread m_holder;
};

// Opens each file that appears below a folder for 200 ms, sharing only reading, as a virus scanner looks
// at every file just written.
class Scanner
{
public:
    explicit Scanner(const std::string& folder)
        : m_hDir(::CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)),
          m_thread([this, folder] { Watch(AnsiToWide(folder.c_str())); })
    {
        ::WaitForSingleObject(m_watching.Get(), 5000);   // what happens before the watch starts is never seen
    }
    ~Scanner() { Stop(); }
    // Stops once it has looked at every change seen so far; the number of files it held open.
    int Stop()
    {
        ::SetEvent(m_stop.Get());
        if (m_thread.joinable())
            m_thread.join();
        return m_nOpened;
    }

private:
    void Watch(const std::wstring& folder)
    {
        KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED ov = {};
        ov.hEvent = event.Get();
        alignas(DWORD) BYTE buffer[16384];
        for (;;)
        {
            ::ResetEvent(ov.hEvent);
            if (!::ReadDirectoryChangesW(m_hDir.Get(), buffer, sizeof(buffer), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &ov, nullptr))
                break;
            ::SetEvent(m_watching.Get());
            // Changes that came meanwhile are looked at before a stop.
            HANDLE waits[] = { ov.hEvent, m_stop.Get() };
            DWORD cb = 0;
            if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 || !::GetOverlappedResult(m_hDir.Get(), &ov, &cb, TRUE))
            {
                ::CancelIo(m_hDir.Get());
                ::GetOverlappedResult(m_hDir.Get(), &ov, &cb, TRUE);
                break;
            }
            for (auto* p = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(buffer); cb; p = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(
                                                                                       reinterpret_cast<BYTE*>(p) + p->NextEntryOffset))
            {
                if (p->Action == FILE_ACTION_ADDED || p->Action == FILE_ACTION_RENAMED_NEW_NAME)
                    Look(folder + std::wstring(p->FileName, p->FileNameLength / sizeof(WCHAR)));
                if (!p->NextEntryOffset)
                    break;
            }
        }
    }
    void Look(const std::wstring& path)
    {
        // A file still being written is waited for.
        FileHandle file;
        for (int nTry = 0; nTry < 200 && !file; ++nTry, ::Sleep(1))
            if ((*file.Put() = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) ==
                    INVALID_HANDLE_VALUE &&
                ::GetLastError() != ERROR_SHARING_VIOLATION)
                return;
        if (!file)
            return;
        ++m_nOpened;
        ::Sleep(200);
    }

    FileHandle m_hDir;
    KernelHandle m_stop{ ::CreateEventA(nullptr, TRUE, FALSE, nullptr) };
    KernelHandle m_watching{ ::CreateEventA(nullptr, TRUE, FALSE, nullptr) };
    std::atomic<int> m_nOpened{ 0 };
    std::thread m_thread;
};

// mdutil's exit code, for arguments in the process's code page (the paths the program handles).
inline DWORD RunMdutil(const std::string& arguments) { return RunMdutil(PathArg(arguments).wide).exitCode; }

// A store of this process's own with web sites 1 to nSites, made the one every metabase call uses.
inline bool UseStoreWithSites(const std::string& name, int nSites)
{
    std::string store = FreshFolder(name) + "MetaBase.xml";
    std::string root = FreshFolder(name + "root");
    root.pop_back();   // a backslash before the closing quote would escape it
    ::SetEnvironmentVariableA("ZEM_METABASE_PATH", store.c_str());
    for (int i = 1; i <= nSites; ++i)
        if (RunMdutil("add-site " + std::to_string(i) + " \"Site " + std::to_string(i) + "\" \"" + root + "\" :80:") != 0)
            return false;
    return true;
}

// Top-level windows of one thread of this process that satisfy match.
inline HWND FindThreadWindow(DWORD threadId, const std::function<bool(HWND)>& match)
{
    struct Search
    {
        const std::function<bool(HWND)>* match;
        HWND found;
    } search = { &match, nullptr };
    ::EnumThreadWindows(
        threadId, [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            if (::IsWindowVisible(hwnd) && (*s->match)(hwnd))
            {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline std::string WindowTextAnsi(HWND hwnd)
{
    std::string text(static_cast<size_t>(::GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The real main dialog, run modally on a thread of its own (its UI thread) while the test thread plays
// the user or the deployment worker. A message box at start-up (no web server) is answered.
class MainDialogRun
{
public:
    // prepare runs on the dialog's thread before the dialog is made; what it returns lives until the
    // dialog has ended (a class object registered for that thread, say).
    explicit MainDialogRun(std::function<std::shared_ptr<void>()> prepare = nullptr)
    {
        m_ui = std::thread([this, prepare] {
            std::shared_ptr<void> prepared = prepare ? prepare() : nullptr;
            CWebInstallDlg dialog;
            dlg = &dialog;
            uiThreadId = ::GetCurrentThreadId();
            dialog.DoModal();
            dlg = nullptr;
        });
        try
        {
            WaitUntil([&] {
                if (uiThreadId == 0)
                    return false;
                // A box answered stays on screen a moment: it is read and answered once.
                if (HWND box = FindThreadWindow(uiThreadId, IsMessageBox))
                    startupMessages.push_back(ReadMessageBox(box)), Answer(box, IDOK),
                        WaitUntil([box] { return !::IsWindow(box) || !::IsWindowVisible(box); });
                return (hDlg = FindThreadWindow(uiThreadId, [](HWND h) { return ::GetDlgItem(h, IDC_LOG) != nullptr; })) != nullptr;
            });
        }
        catch (const DriverError& e)
        {
            hDlg = nullptr;
            ADD_FAILURE() << "the dialog did not come up: " << e.what();
        }
    }

    ~MainDialogRun()
    {
        // Closed as the user closes it; a thread left in a box at start is told to quit instead.
        if (hDlg)
            ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        else if (uiThreadId)
            ::PostThreadMessageA(uiThreadId, WM_QUIT, 0, 0);
        if (m_ui.joinable())
            m_ui.join();
    }

    MainDialogRun(const MainDialogRun&) = delete;
    std::atomic<CWebInstallDlg*> dlg{ nullptr };
    HWND hDlg = nullptr;
    std::vector<MessageBoxInfo> startupMessages;   // the boxes shown before the dialog came up
    std::atomic<DWORD> uiThreadId{ 0 };

private:
    std::thread m_ui;
};

}   // namespace zem::ui

using namespace zem::ui;
