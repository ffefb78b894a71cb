// Drives a real program from another process under Wine (a test, zemdrive, the benchmarks): starts it,
// finds its windows, reads and pokes its controls across the process boundary, answers its message
// boxes, types at it and photographs it. Console programs (mdutil) run through the same start, their
// output read back; the files a run writes are made and removed here too.
//
// Everything that waits takes a time-out and polls; a wait that runs out returns an empty result, so the
// caller decides whether that is a failure. A window that stops answering a message is a failure of the
// program under test and raises DriverError, as does anything the driver itself cannot do.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zem::ui {

using Millis = std::chrono::milliseconds;

// The first program started in a fresh prefix can take many seconds while Wine sets itself up.
inline constexpr Millis kWait{30000};
// How long a single message may take before the receiving window counts as hung.
inline constexpr Millis kAnswer{5000};

class DriverError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Folder of the running executable, ending with a backslash.
std::wstring ExeFolder();

std::string Utf8(const std::wstring& text);
// A catalogue string as the program loads it: the resource loader picks the same language for both.
std::wstring ProgramString(const std::wstring& program, UINT id);

// Polls cond every `every` until it holds or the time-out passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& cond, Millis timeout = kWait, Millis every = Millis{25});

struct StartOptions
{
    std::wstring arguments;  // the command line after the quoted program path
    std::wstring workingDir; // empty: the caller's
    // Variables set (or, with an empty value, removed) on top of the caller's environment.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    // stdout and stderr read back through one pipe (a console program); the program gets no console.
    bool captureOutput = false;
};

struct MessageBoxInfo
{
    std::wstring caption;
    std::wstring text;
    bool hasIcon = false;
    std::vector<std::pair<int, std::wstring>> buttons; // control id and caption, in z-order
};

// A started program. The destructor ends it if it still runs, so a failing test leaves nothing behind.
class DriverProcess
{
public:
    // Raises DriverError, with the system's error code, when the program does not start.
    static DriverProcess Start(const std::wstring& exePath, const StartOptions& options = {});

    DriverProcess(DriverProcess&& other) noexcept;
    DriverProcess(const DriverProcess&) = delete;
    DriverProcess& operator=(const DriverProcess&) = delete;
    ~DriverProcess();

    DWORD Id() const { return id_; }
    bool Running() const;
    // The exit code, or nothing when the process still runs after the time-out.
    std::optional<DWORD> WaitExit(Millis timeout = kWait) const;
    // Ends it unless it has ended; true when it was still running.
    bool Kill();
    // What a program started with captureOutput wrote so far, UTF-8 as the program wrote it.
    std::string Output() const;
    // Waits until a line of its output starts with prefix; false when it ended or the time ran out first.
    bool WaitForLine(const std::string& prefix, Millis timeout = kWait) const;

    // Visible top-level windows of the process, optionally of one class.
    std::vector<HWND> Windows(const wchar_t* className = nullptr) const;
    // Visible top-level window of that class and caption (null caption: any), or null after the time-out.
    HWND WaitWindow(const wchar_t* className, const wchar_t* caption, Millis timeout = kWait) const;

    std::vector<HWND> MessageBoxes() const;

    // Lets the process reach its message loop, then checks that every visible window answers.
    bool WaitIdle(Millis timeout = kWait) const;

private:
    struct Capture;
    DriverProcess(HANDLE process, DWORD id, std::shared_ptr<Capture> capture)
        : process_(process), id_(id), capture_(std::move(capture)) {}
    void Close() noexcept;

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    std::shared_ptr<Capture> capture_; // shared with the thread that reads the pipe
};

// A console program run to its end with its output; exitCode is 0xFFFFFFFF when it had to be ended after
// the time-out.
struct RunResult
{
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};
RunResult Run(const std::wstring& exePath, const std::wstring& arguments, Millis timeout = Millis{60000});

// A path in the process's ANSI code page (what the program itself handles) or in UTF-16.
struct PathArg
{
    PathArg(const std::wstring& path) : wide(path) {}
    PathArg(const wchar_t* path) : wide(path) {}
    PathArg(const std::string& ansiPath);
    PathArg(const char* ansiPath) : PathArg(std::string(ansiPath)) {}
    std::wstring wide;
};
bool WriteTextFile(const PathArg& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be read.
std::string ReadTextFile(const PathArg& path);
// A file, or a folder with all it holds, read-only files included.
void RemoveTree(const PathArg& path);
// An empty folder of its own for this process below the system's temporary folder, with a trailing
// backslash; what an earlier run left there is removed first.
std::string FreshFolder(const std::string& name);

std::wstring ClassName(HWND hwnd);
// Sends and waits at most `answer`; a window that does not answer in time raises DriverError.
LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Millis answer = kAnswer);
// Posts; use it for anything that may open a modal window in the receiver, which would block a send.
void Post(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// Window text through WM_GETTEXT: the system converts an ANSI window's text to UTF-16 for us.
std::wstring Text(HWND hwnd);
HWND Item(HWND dialog, int id); // raises DriverError when the dialog has no such control
std::wstring ItemText(HWND dialog, int id);

// Control of the window's thread that has the keyboard focus, or null.
HWND FocusOf(HWND anyWindowOfThread);

// Presses a button the way a mouse click would (posted BM_CLICK).
void Click(HWND button);
// Tells the dialog that the control with this id was clicked (posted WM_COMMAND/BN_CLICKED).
void Command(HWND dialog, int id);

// A top-level dialog made like the system's message box: buttons, the text static 0xFFFF and the icon
// static (0x14 on Windows, 0x440 on Wine 8).
bool IsMessageBox(HWND hwnd);
MessageBoxInfo ReadMessageBox(HWND box);
// Presses the box's button with that id; raises DriverError when the box has none.
void Answer(HWND box, int buttonId);

// The program's main window: waits until the process shows a visible, unowned dialog that is not a message
// box, with no message box for `quiet` before. Each message box that shows up meanwhile goes to onBox,
// which must answer it. Null when the time runs out or the process ends.
HWND WaitMainDialog(const DriverProcess& process, const std::function<void(HWND box)>& onBox,
                    Millis timeout = kWait, Millis quiet = Millis{700});

struct Chord
{
    WORD key; // virtual key
    bool alt = false;
};

// Makes the window the foreground window, so that hardware input reaches its thread.
bool BringToFront(HWND topLevel, Millis timeout = kAnswer);
// Real input through SendInput to the foreground window, after bringing topLevel to the front. This is
// the only way to get what the system derives from hardware keys (F1 becomes WM_HELP).
void Press(HWND topLevel, const Chord& chord);

// Copies the window's rectangle from the screen, once two captures in a row agree (painting done), and
// writes it as PNG. The window should be on top; raises DriverError on failure.
void CapturePng(HWND hwnd, const std::wstring& path, Millis timeout = kAnswer);

} // namespace zem::ui
