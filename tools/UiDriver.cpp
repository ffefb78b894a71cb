#include "UiDriver.h"

#include <shellapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

namespace zem::ui {
namespace {

using Microsoft::WRL::ComPtr;

[[noreturn]] void Fail(const std::string& what, DWORD error = GetLastError())
{
    throw DriverError(what + " (error " + std::to_string(error) + ")");
}

void Check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        char code[16];
        wsprintfA(code, "0x%08lX", static_cast<unsigned long>(hr));
        throw DriverError(std::string(what) + " failed: " + code);
    }
}

// Runs its function when the scope ends: the release of a handle or a state taken for the scope.
template <class F>
struct Finally
{
    F release;
    ~Finally() { release(); }
};
template <class F>
Finally(F) -> Finally<F>;

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::vector<HWND> DirectChildren(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND ChildById(HWND parent, int id)
{
    // Template ids are 16-bit: a -1 of an extended template and 0xFFFF of a classic one are the same id.
    for (HWND child : DirectChildren(parent))
        if ((GetDlgCtrlID(child) & 0xFFFF) == (id & 0xFFFF))
            return child;
    return nullptr;
}

// Enumeration callbacks are named functions: a lambda has no stdcall conversion in the 32-bit build.
struct TopLevelList
{
    DWORD pid;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp)
{
    auto* c = reinterpret_cast<TopLevelList*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != c->pid)
        return TRUE;
    if (!IsWindowVisible(hwnd))
        return TRUE;
    if (c->className && !SameName(ClassName(hwnd), c->className))
        return TRUE;
    c->found.push_back(hwnd);
    return TRUE;
}

constexpr int kBoxTextId = 0xFFFF;
// Windows names the icon static 0x14; Wine 8 still uses stc1 (0x440) from its own template.
constexpr int kBoxIconIds[] = {0x14, 0x440};

HWND BoxIcon(HWND box)
{
    for (int id : kBoxIconIds)
        if (HWND icon = ChildById(box, id); icon && SameName(ClassName(icon), L"Static"))
            return icon;
    return nullptr;
}

} // namespace

std::wstring ExeFolder()
{
    std::wstring path(32768, L'\0'); // the longest path the system has
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    if (path.empty())
        Fail("GetModuleFileNameW");
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string Utf8(const std::wstring& text)
{
    std::string out(text.size() * 3, '\0'); // UTF-8 needs at most three bytes for a UTF-16 unit
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                                       static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::wstring ProgramString(const std::wstring& program, UINT id)
{
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return L"";
    wchar_t text[512] = L"";
    LoadStringW(module, id, text, ARRAYSIZE(text));
    FreeLibrary(module);
    return text;
}

bool WaitUntil(const std::function<bool()>& cond, Millis timeout, Millis every)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(every);
    }
}

// The pipe of a program started with captureOutput, read by a thread of its own as the program writes, so
// that a talkative program never blocks on a full pipe.
struct DriverProcess::Capture
{
    HANDLE read = nullptr;
    std::thread reader;
    mutable std::mutex lock;
    std::string output;
    ~Capture()
    {
        if (reader.joinable())
            reader.join();
        if (read)
            CloseHandle(read);
    }
};

DriverProcess DriverProcess::Start(const std::wstring& exePath, const StartOptions& options)
{
    // The program inherits the caller's environment: the overrides hold for the start and are put back after.
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
    for (const auto& [name, value] : options.environment) {
        std::wstring old(32767, L'\0');
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(name.c_str(), old.data(), static_cast<DWORD>(old.size()));
        saved.emplace_back(name, n || GetLastError() == ERROR_SUCCESS ? std::optional(old.substr(0, n)) : std::nullopt);
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
    Finally restore{[&] {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }};
    std::wstring commandLine = L"\"" + exePath + L"\"" + (options.arguments.empty() ? L"" : L" " + options.arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::shared_ptr<Capture> capture;
    HANDLE write = nullptr;
    if (options.captureOutput) {
        capture = std::make_shared<Capture>();
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        if (!CreatePipe(&capture->read, &write, &inherit, 0))
            Fail("CreatePipe");
        SetHandleInformation(capture->read, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = write;
    }
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
    DWORD error = ERROR_SUCCESS;
    // Wine answers ERROR_INTERNAL_ERROR when the new process's Unix side was gone before it had run any code
    // of its own: the server saw its connection close before the process reported itself started. Wine does
    // not check the fork and exec that make that Unix process, nor say why it ended, so a fork that fails on
    // a machine short of something, or a loader that dies before its first line, comes back as this code and
    // nothing else. Nothing of the program has run then, so a second start is the same as a first; any other
    // error, or this one a third time, is the caller's.
    for (int attempt = 1; !started && attempt <= 3; ++attempt) {
        if (attempt > 1)
            Sleep(100);
        // A console program gets no console at all: under Wine a console of its own outlives a program that
        // is killed, and keeps the prefix's server running.
        started = CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, capture != nullptr,
                                 capture ? DETACHED_PROCESS : 0, nullptr,
                                 options.workingDir.empty() ? nullptr : options.workingDir.c_str(), &si, &pi);
        error = GetLastError(); // before anything else may touch it
        if (!started && error != ERROR_INTERNAL_ERROR)
            break;
        if (!started)
            std::fprintf(stderr, "%s ended before it started (error 1359)\n", Utf8(exePath).c_str());
    }
    if (write)
        CloseHandle(write);
    if (!started)
        Fail("cannot start " + Utf8(exePath), error);
    CloseHandle(pi.hThread);
    if (capture)
        capture->reader = std::thread([c = capture.get()] {
            char buffer[512];
            DWORD got = 0;
            while (ReadFile(c->read, buffer, sizeof buffer, &got, nullptr) && got) {
                std::lock_guard<std::mutex> hold(c->lock);
                c->output.append(buffer, got);
            }
        });
    return DriverProcess(pi.hProcess, pi.dwProcessId, std::move(capture));
}

DriverProcess::DriverProcess(DriverProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), id_(std::exchange(other.id_, 0)), capture_(std::move(other.capture_))
{
}

DriverProcess::~DriverProcess() { Close(); }

void DriverProcess::Close() noexcept
{
    if (!process_)
        return;
    Kill();
    CloseHandle(process_);
    process_ = nullptr;
    capture_.reset(); // the pipe ends with the program: its reader is done
}

bool DriverProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> DriverProcess::WaitExit(Millis timeout) const
{
    if (!process_ || WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code))
        Fail("GetExitCodeProcess");
    return code;
}

bool DriverProcess::Kill()
{
    if (!Running())
        return false;
    TerminateProcess(process_, 1);
    // Gone for good before this returns: a store lock or a file it held is free for the next step.
    WaitForSingleObject(process_, static_cast<DWORD>(kWait.count()));
    return true;
}

std::string DriverProcess::Output() const
{
    if (!capture_)
        return {};
    // Once the program has ended, everything it wrote is read before it is handed out.
    if (!Running() && capture_->reader.joinable())
        capture_->reader.join();
    std::lock_guard<std::mutex> hold(capture_->lock);
    return capture_->output;
}

bool DriverProcess::WaitForLine(const std::string& prefix, Millis timeout) const
{
    auto seen = [&] { return ("\n" + Output()).find("\n" + prefix) != std::string::npos; };
    WaitUntil([&] { return seen() || !Running(); }, timeout);
    return seen();
}

RunResult Run(const std::wstring& exePath, const std::wstring& arguments, Millis timeout)
{
    StartOptions options;
    options.arguments = arguments;
    options.captureOutput = true;
    DriverProcess process = DriverProcess::Start(exePath, options);
    RunResult result;
    if (auto code = process.WaitExit(timeout))
        result.exitCode = *code;
    else
        process.Kill();
    result.output = process.Output();
    return result;
}

PathArg::PathArg(const std::string& ansiPath) : wide(ansiPath.size(), L'\0')
{
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
}

bool WriteTextFile(const PathArg& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return CloseHandle(file) && ok && written == bytes.size();
}

std::string ReadTextFile(const PathArg& path)
{
    HANDLE file = CreateFileW(path.wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    Finally close{[&] { CloseHandle(file); }};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    return bytes;
}

void RemoveTree(const PathArg& path)
{
    std::wstring from = path.wide + L'\0'; // a list of paths, ended by an empty one
    SHFILEOPSTRUCTW operation = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr};
    SHFileOperationW(&operation);
}

std::string FreshFolder(const std::string& name)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string own = std::string(temp) + "zem-" + std::to_string(GetCurrentProcessId()) + "\\";
    RemoveTree(own + name);
    CreateDirectoryA(own.c_str(), nullptr);
    CreateDirectoryA((own + name).c_str(), nullptr);
    return own + name + "\\";
}

std::vector<HWND> DriverProcess::Windows(const wchar_t* className) const
{
    TopLevelList list{id_, className, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&list));
    return list.found;
}

HWND DriverProcess::WaitWindow(const wchar_t* className, const wchar_t* caption, Millis timeout) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : Windows(className))
                if (!caption || Text(hwnd) == caption)
                    return (found = hwnd), true;
            return !Running();
        },
        timeout);
    return found;
}

std::vector<HWND> DriverProcess::MessageBoxes() const
{
    std::vector<HWND> boxes;
    for (HWND hwnd : Windows(L"#32770"))
        if (IsMessageBox(hwnd))
            boxes.push_back(hwnd);
    return boxes;
}

bool DriverProcess::WaitIdle(Millis timeout) const
{
    if (!process_)
        return false;
    if (WaitForInputIdle(process_, static_cast<DWORD>(timeout.count())) == WAIT_TIMEOUT)
        return false;
    for (HWND hwnd : Windows())
        Send(hwnd, WM_NULL, 0, 0, timeout);
    return true;
}

std::wstring ClassName(HWND hwnd)
{
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Millis answer)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, static_cast<UINT>(answer.count()),
                             &result))
        Fail("window " + std::to_string(reinterpret_cast<uintptr_t>(hwnd)) + " did not answer message " +
             std::to_string(msg));
    return static_cast<LRESULT>(result);
}

void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!PostMessageW(hwnd, msg, wParam, lParam))
        Fail("PostMessageW " + std::to_string(msg));
}

std::wstring Text(HWND hwnd)
{
    // An ANSI window reports its length in bytes, which is never less than the UTF-16 length.
    auto length = static_cast<size_t>(Send(hwnd, WM_GETTEXTLENGTH));
    std::wstring text(length + 1, L'\0');
    auto copied = static_cast<size_t>(Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return text;
}

HWND Item(HWND dialog, int id)
{
    HWND item = ChildById(dialog, id);
    if (!item)
        throw DriverError("the window has no control " + std::to_string(id));
    return item;
}

std::wstring ItemText(HWND dialog, int id)
{
    return Text(Item(dialog, id));
}

HWND FocusOf(HWND anyWindowOfThread)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(anyWindowOfThread, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info))
        return nullptr;
    return info.hwndFocus;
}

void Click(HWND button)
{
    Post(button, BM_CLICK);
}

void Command(HWND dialog, int id)
{
    Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(dialog, id)));
}

bool IsMessageBox(HWND hwnd)
{
    if (GetParent(hwnd) && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
        return false;
    if (!SameName(ClassName(hwnd), L"#32770"))
        return false;
    // A message box holds buttons, one text static and at most the icon static. An About box built from a
    // template with several unnamed statics must not pass for one.
    int texts = 0;
    for (HWND child : DirectChildren(hwnd)) {
        int id = GetDlgCtrlID(child) & 0xFFFF;
        std::wstring cls = ClassName(child);
        if (SameName(cls, L"Static") && id == kBoxTextId)
            ++texts;
        else if (SameName(cls, L"Static") && std::find(std::begin(kBoxIconIds), std::end(kBoxIconIds), id) !=
                                                 std::end(kBoxIconIds))
            continue;
        else if (!SameName(cls, L"Button") || id < IDOK || id > IDCONTINUE)
            return false;
    }
    return texts == 1;
}

MessageBoxInfo ReadMessageBox(HWND box)
{
    // A thread that has not asked for a message for seconds counts as hung until the box's own loop runs,
    // and messages to a box that has just shown are refused until then.
    WaitUntil([&] {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(kAnswer.count()),
                                   &result) != 0;
    });
    MessageBoxInfo info;
    info.caption = Text(box);
    info.text = ItemText(box, kBoxTextId);
    if (HWND icon = BoxIcon(box))
        info.hasIcon = IsWindowVisible(icon) && Send(icon, STM_GETICON) != 0;
    for (HWND child : DirectChildren(box))
        if (SameName(ClassName(child), L"Button") && IsWindowVisible(child))
            info.buttons.emplace_back(GetDlgCtrlID(child), Text(child));
    return info;
}

void Answer(HWND box, int buttonId)
{
    HWND button = ChildById(box, buttonId);
    if (!button || !SameName(ClassName(button), L"Button"))
        throw DriverError("the message box has no button " + std::to_string(buttonId));
    Click(button);
}

HWND WaitMainDialog(const DriverProcess& process, const std::function<void(HWND box)>& onBox, Millis timeout,
                    Millis quiet)
{
    auto isMain = [](HWND hwnd) {
        return SameName(ClassName(hwnd), L"#32770") && !GetWindow(hwnd, GW_OWNER) && !IsMessageBox(hwnd);
    };
    HWND dialog = nullptr;
    auto quietSince = std::chrono::steady_clock::now();
    bool settled = WaitUntil(
        [&] {
            for (HWND box : process.MessageBoxes()) {
                onBox(box);
                if (!WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeout))
                    throw DriverError("a message box stayed open after it was answered");
                quietSince = std::chrono::steady_clock::now();
            }
            if (!process.Running())
                return true;
            auto windows = process.Windows();
            auto found = std::find_if(windows.begin(), windows.end(), isMain);
            dialog = found == windows.end() ? nullptr : *found;
            return dialog && std::chrono::steady_clock::now() - quietSince >= quiet;
        },
        timeout, Millis{50});
    return settled && process.Running() ? dialog : nullptr;
}

bool BringToFront(HWND topLevel, Millis timeout)
{
    if (GetForegroundWindow() == topLevel)
        return true;
    SetForegroundWindow(topLevel);
    return WaitUntil([&] { return GetForegroundWindow() == topLevel; }, timeout);
}

void Press(HWND topLevel, const Chord& chord)
{
    if (!BringToFront(topLevel))
        throw DriverError("the window does not come to the foreground");
    std::vector<INPUT> inputs;
    auto key = [&](WORD vk, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    if (chord.alt)
        key(VK_MENU, false);
    key(chord.key, false);
    key(chord.key, true);
    if (chord.alt)
        key(VK_MENU, true);
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size())
        Fail("SendInput");
}

void CapturePng(HWND hwnd, const std::wstring& path, Millis timeout)
{
    RECT rc{};
    if (!GetWindowRect(hwnd, &rc))
        Fail("GetWindowRect");
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0)
        throw DriverError("the window has no area to capture");

    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    Finally releaseDcs{[&] { DeleteDC(memory), ReleaseDC(nullptr, screen); }};
    if (!screen || !memory)
        Fail("no device context for the capture");
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height; // top-down, as WIC expects rows
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Finally deleteDib{[&] { DeleteObject(dib); }};
    if (!dib || !bits)
        Fail("CreateDIBSection");
    const UINT stride = static_cast<UINT>(width) * 4, size = stride * static_cast<UINT>(height);

    // The window may still be painting (or its pixels on their way to the X server): take pictures until two
    // in a row agree.
    std::vector<BYTE> previous, current(size);
    {
        HGDIOBJ old = SelectObject(memory, dib); // deselected before the bitmap goes, as GDI wants
        Finally deselect{[&] { SelectObject(memory, old); }};
        WaitUntil(
            [&] {
                if (!BitBlt(memory, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY | CAPTUREBLT))
                    Fail("BitBlt");
                GdiFlush();
                std::copy_n(static_cast<const BYTE*>(bits), size, current.begin());
                bool stable = current == previous;
                previous = current;
                return stable;
            },
            timeout, Millis{100});
    }

    // RPC_E_CHANGED_MODE: the thread already has COM in another model, which serves too.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Finally uninitialize{[&] { if (SUCCEEDED(com)) CoUninitialize(); }};
    ComPtr<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
          "creating the imaging factory");
    ComPtr<IWICBitmap> bitmap;
    Check(factory->CreateBitmapFromMemory(static_cast<UINT>(width), static_cast<UINT>(height),
                                          GUID_WICPixelFormat32bppBGR, stride, size, previous.data(), &bitmap),
          "CreateBitmapFromMemory");
    ComPtr<IWICStream> stream;
    Check(factory->CreateStream(&stream), "CreateStream");
    Check(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE), ("opening " + Utf8(path)).c_str());
    ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), "CreateEncoder");
    Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "encoder Initialize");
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    Check(encoder->CreateNewFrame(&frame, &options), "CreateNewFrame");
    Check(frame->Initialize(options.Get()), "frame Initialize");
    Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)), "SetSize");
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR; // no alpha: the screen has none
    Check(frame->SetPixelFormat(&format), "SetPixelFormat");
    Check(frame->WriteSource(bitmap.Get(), nullptr), "WriteSource");
    Check(frame->Commit(), "frame Commit");
    Check(encoder->Commit(), "encoder Commit");
}

} // namespace zem::ui
