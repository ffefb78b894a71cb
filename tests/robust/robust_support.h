// The staging tree, the program copy and the host-side helpers of the robustness tests: files read and
// written whole, a tree snapshot, Unix commands run from inside Wine, a tmpfs mounted for a full disk.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "UiDriver.h"
#include "resource.h"

namespace zem::robust {

using namespace zem::ui;
using namespace std::chrono_literals;

inline constexpr char kSecret[] = "zem-robust-secret";   // content of the files no list entry may reach

inline std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

inline std::string Temp()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return temp;
}

inline void Put(const std::string& path, const std::string& bytes)
{
    EXPECT_TRUE(std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()))) << path;
}

inline std::string Get(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

// Every file and folder below dir (folders with a trailing backslash), with the files' contents; the
// folder `skip` (full path with its backslash) is left out.
using Tree = std::map<std::string, std::string>;
inline void Walk(const std::string& dir, const std::string& skip, Tree& tree, const std::string& rel = "")
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            tree[rel + name] = Get(dir + name);
        } else if (tree[rel + name + "\\"], dir + name + "\\" != skip) {
            Walk(dir + name + "\\", skip, tree, rel + name + "\\");
        }
    } while (FindNextFileA(h, &data));
    FindClose(h);
}

inline std::string UnixPath(const std::string& windowsPath)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* path = convert ? convert(Wide(windowsPath).c_str()) : nullptr;
    std::string result = path ? path : "";
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

// Runs a command of the host system (the script may not hold double quotes). Wine starts Unix programs but
// hands back no process to wait for, so the script leaves its exit status in a file, polled for here.
inline int Shell(const std::string& script)
{
    static int serial = 0;
    const std::string done = Temp() + "zem-robust-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++serial) + ".rc";
    const std::string unixDone = UnixPath(done);
    std::string line = "/bin/sh -c \"" + script + "\n echo $? >'" + unixDone + ".part'; mv '" + unixDone +
                       ".part' '" + unixDone + "'\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (unixDone.empty() || !CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    std::string status;
    WaitUntil([&] { return (status = Get(done)) != "<missing>"; }, 30s);
    DeleteFileA(done.c_str());
    return status == "<missing>" ? -1 : std::atoi(status.c_str());
}

// root\a\b\c\ holds the program's folder bin\ and the target folder target\, four levels down, so that
// entries climbing with at most four ".." stay inside the tree that is watched. Every folder above the
// program's folder holds a secret, the program's folder none.
struct Stage {
    std::string root, base, bin, target;
    explicit Stage(const std::string& tag)
        : root(Temp() + "zem-robust-" + std::to_string(GetCurrentProcessId()) + "-" + tag + "\\"),
          base(root + "a\\b\\c\\"), bin(base + "bin\\"), target(base + "target\\")
    {
        for (std::string dir : {root, root + "a\\", root + "a\\b\\", base, bin, bin + "sub\\", base + "outside\\",
                                root + "elsewhere\\", target})
            CreateDirectoryA(dir.c_str(), nullptr);
        std::wstring program = ExeFolder() + L"ZemWebSetup.exe";
        EXPECT_TRUE(CopyFileW(program.c_str(), Wide(bin + "ZemWebSetup.exe").c_str(), FALSE));
        Put(bin + "page.htm", "<p>page</p>");
        Put(bin + "sub\\deep.htm", "<p>deep</p>");
        Put(bin + "ZemSetup.exe", "package");
        for (const std::string& dir : {root, root + "a\\", root + "a\\b\\", base}) Put(dir + "secret.htm", kSecret);
        Put(base + "outside\\keep.txt", "keep");
    }
    ~Stage() { Shell("rm -rf '" + UnixPath(root) + "'"); }
};

struct Outcome {
    std::string fault;     // empty when the run ended in a message box and Install came back
    std::wstring verdict;  // the text of that box
    std::wstring log;
};

// Processes that `parent` started and that run the named program.
inline std::vector<DWORD> Children(DWORD parent, const wchar_t* exe)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, exe) == 0) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// The copy in the staging tree, without a web server (the virtual directory is not the subject here),
// started in its base folder so that a drive-relative name resolves inside the watched tree.
struct Program {
    DriverProcess process;
    HWND dialog = nullptr;
    explicit Program(const Stage& s)
        : process(DriverProcess::Start(Wide(s.bin + "ZemWebSetup.exe"), Options(s)))
    {
        dialog = WaitMainDialog(process, [](HWND box) { Answer(box, IDOK); });
    }
    // Wine hands a program that crashed to its debugger, which holds it, and the test's output, for good.
    ~Program() { End(); }
    bool End()
    {
        bool crashed = false;
        for (DWORD id : Children(process.Id(), L"winedbg.exe")) {
            crashed = true;
            HANDLE debugger = OpenProcess(PROCESS_TERMINATE, FALSE, id);
            if (debugger) TerminateProcess(debugger, 1), CloseHandle(debugger);
        }
        process.Kill();
        return crashed;
    }
    static StartOptions Options(const Stage& s)
    {
        StartOptions options;
        options.workingDir = Wide(s.base);
        options.environment = {{L"ZEM_METABASE_PATH", Wide(Temp() + "zem-robust-no-store\\MetaBase.xml")}};
        return options;
    }
    // Runs one Install and answers the box it ends with.
    Outcome Install(const std::string& folder)
    {
        Outcome o;
        Send(Item(dialog, IDC_WEB_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(folder).c_str()));
        Click(Item(dialog, IDOK));
        std::vector<HWND> boxes;
        WaitUntil([&] { return !(boxes = process.MessageBoxes()).empty() || !process.Running() ||
                               !Children(process.Id(), L"winedbg.exe").empty(); }, 30s);
        if (boxes.empty()) {
            const bool running = process.Running();
            o.fault = End() ? "crashed" : running ? "no verdict within 30 s" : "ended by itself";
            return o;
        }
        o.verdict = ReadMessageBox(boxes[0]).text;
        o.log = ItemText(dialog, IDC_LOG);
        Answer(boxes[0], IDOK);
        if (!WaitUntil([&] { return !IsWindow(boxes[0]) && IsWindowEnabled(Item(dialog, IDOK)); }, 10s))
            o.fault = "Install stays off";
        return o;
    }
    std::optional<DWORD> Close()
    {
        Command(dialog, IDCANCEL);
        return process.WaitExit(10s);
    }
};

inline std::wstring LastLine(std::wstring log)
{
    if (log.size() >= 2) log.resize(log.size() - 2);
    const size_t start = log.rfind(L"\r\n");
    return start == std::wstring::npos ? log : log.substr(start + 2);
}

// Temporary files and files that carry a secret, below the folder.
inline std::string Leftovers(const std::string& folder)
{
    Tree inside;
    Walk(folder, "", inside);
    std::string found;
    for (const auto& [name, bytes] : inside) {
        if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".tmp") == 0) found += " temporary " + name;
        if (bytes.find(kSecret) != std::string::npos) found += " read from outside: " + name;
    }
    return found;
}

// A tmpfs of 256 KB mounted on a folder. The mount also starts a watcher that unmounts it once this test
// process has ended, however it ended.
class TinyDrive {
public:
    explicit TinyDrive(const std::string& folder) : unixPath_(UnixPath(folder))
    {
        CreateDirectoryA(folder.c_str(), nullptr);
        // Wine opens files from inside the calling process, so this is our own Unix process.
        const std::string self = Get("Z:\\proc\\self\\stat");
        const std::string pid = self.substr(0, self.find(' '));
        mounted_ = Shell("mount -t tmpfs -o size=256k zemtiny '" + unixPath_ + "' || exit 1\n (while kill -0 " + pid +
                         "; do sleep 1; done; umount -l '" + unixPath_ + "') >/dev/null 2>&1 &") == 0;
    }
    ~TinyDrive()
    {
        if (mounted_) Shell("umount '" + unixPath_ + "' || umount -l '" + unixPath_ + "'");
    }
    bool Mounted() const { return mounted_; }

private:
    std::string unixPath_;
    bool mounted_ = false;
};

}  // namespace zem::robust
