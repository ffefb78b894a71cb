// The real ZemWebSetup.exe, copied into a staging tree of its own, against what could lie beside it or
// around its target folder: hostile list files (named ones and generated ones), a directory link inside
// the target and a full disk. After every run: no crash, no hang, a verdict, nothing written outside the
// target, nothing read from outside the program's folder, no temporary file.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <optional>
#include <random>

#include "ProgramRun.h"
#include "UniqueHandle.h"

namespace {

using namespace zem::ui;
using namespace std::chrono_literals;

constexpr char kSecret[] = "zem-robust-secret";   // content of the files no list entry may reach

std::wstring Wide(const std::string& ansi) { return PathArg(ansi).wide; }
void Put(const std::string& path, const std::string& bytes) { EXPECT_TRUE(WriteTextFile(path, bytes)) << path; }

// Every file and folder below dir (folders with a trailing backslash), with the files' contents; the
// folder `skip` (full path with its backslash) is left out.
using Tree = std::map<std::string, std::string>;
void Walk(const std::string& dir, const std::string& skip, Tree& tree, const std::string& rel = "")
{
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((dir + "*").c_str(), &data));
    for (bool more = bool(find); more; more = FindNextFileA(find.Get(), &data))
    {
        const std::string name = data.cFileName, path = dir + name;
        if (name == "." || name == "..")
            continue;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            tree[rel + name] = ReadTextFile(path);
        else if (tree[rel + name + "\\"], path + "\\" != skip)
            Walk(path + "\\", skip, tree, rel + name + "\\");
    }
}

// Temporary files and files that carry a secret, below the folder.
std::string Leftovers(const std::string& folder)
{
    Tree inside;
    Walk(folder, "", inside);
    std::string found;
    for (const auto& [name, bytes] : inside)
    {
        if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".tmp") == 0)
            found += " temporary " + name;
        if (bytes.find(kSecret) != std::string::npos)
            found += " read from outside: " + name;
    }
    return found;
}

std::string UnixPath(const std::string& windowsPath)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* path = convert ? convert(Wide(windowsPath).c_str()) : nullptr;
    std::string result = path ? path : "";
    HeapFree(GetProcessHeap(), 0, path);
    return "'" + result + "'";   // quoted for the shell
}

// Runs a command of the host system (the script may not hold double quotes). Wine starts Unix programs but
// hands back no process to wait for, so the script leaves its exit status in a file, polled for here.
int Shell(const std::string& script)
{
    static const std::string folder = FreshFolder("robust-shell");
    static int serial = 0;
    const std::string done = folder + std::to_string(++serial) + ".rc";
    const std::string unixDone = UnixPath(done);
    std::string line = "/bin/sh -c \"" + script + "\n echo $? >" + unixDone + ".part; mv " + unixDone + ".part " +
                       unixDone + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (unixDone == "''" || !CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
    std::string status;
    WaitUntil([&] { return (status = ReadTextFile(done)) != "<missing>"; }, 30s);
    DeleteFileA(done.c_str());
    return status == "<missing>" ? -1 : std::atoi(status.c_str());
}

// root\a\b\c\ holds the program's folder bin\ and the target folder target\, four levels down, so that
// entries climbing with at most four ".." stay inside the tree that is watched. Every folder above the
// program's folder holds a secret, the program's folder none.
struct Stage
{
    std::string root, base, bin, target;
    explicit Stage(const std::string& tag)
        : root(FreshFolder("robust-" + tag)),
          base(root + "a\\b\\c\\"),
          bin(base + "bin\\"),
          target(base + "target\\")
    {
        for (std::string dir : { root + "a\\", root + "a\\b\\", base, bin, bin + "sub\\", base + "outside\\",
                                 root + "elsewhere\\", target })
            CreateDirectoryA(dir.c_str(), nullptr);
        EXPECT_TRUE(CopyFileW((ExeFolder() + L"ZemWebSetup.exe").c_str(), Wide(bin + "ZemWebSetup.exe").c_str(), FALSE));
        for (const auto& [path, text] : std::map<std::string, std::string>{ { bin + "page.htm", "<p>page</p>" },
                                                                            { bin + "sub\\deep.htm", "<p>deep</p>" },
                                                                            { bin + "ZemSetup.exe", "package" },
                                                                            { base + "outside\\keep.txt", "keep" },
                                                                            { root + "secret.htm", kSecret },
                                                                            { root + "a\\secret.htm", kSecret },
                                                                            { root + "a\\b\\secret.htm", kSecret },
                                                                            { base + "secret.htm", kSecret } })
            Put(path, text);
    }
    ~Stage() { Shell("rm -rf " + UnixPath(root)); }
};

// The copy in the staging tree, without a web server (the virtual directory is not the subject here),
// started in its base folder so that a drive-relative name resolves inside the watched tree.
struct StagedProgram : Program
{
    explicit StagedProgram(const Stage& s) : Program(Wide(s.bin + "ZemWebSetup.exe"), [&] {
                                                 StartOptions options;
                                                 options.workingDir = Wide(s.base);
                                                 options.environment = { { L"ZEM_METABASE_PATH", Wide(s.root + "..\\no-store\\MetaBase.xml") } };
                                                 return options;
                                             }()) {}
    InstallResult Install(const std::string& folder)
    {
        InstallOptions options;
        options.folder = Wide(folder);
        options.timeout = 30s;
        return RunInstall(*this, options);
    }
};

class ListFile : public testing::Test
{
protected:
    void SetUp() override { Open(); }
    void Open() { ASSERT_NE(nullptr, program_.emplace(stage_).dialog) << "the main dialog did not show"; }
    // One list file through one Install: every broken rule, or empty.
    std::string Check(const std::string& ini, bool link)
    {
        const std::string target = UnixPath(stage_.target);
        if (Shell("rm -rf " + target + " && mkdir " + target +
                  (link ? " && ln -s " + UnixPath(stage_.root + "elsewhere") + " " + UnixPath(stage_.target + "link") : "")))
            return "the host's shell could not prepare the target folder";
        Put(stage_.bin + "ZemWebSetup.ini", ini);
        Tree before, after;
        Walk(stage_.root, stage_.target, before);
        InstallResult o;
        try
        {
            o = program_->Install(stage_.target);
        }
        catch (const DriverError& e)
        {
            o.fault = e.what();
        }
        // The verdict box repeats the log's last line.
        std::wstring log = o.log.substr(0, o.log.size() >= 2 ? o.log.size() - 2 : 0);
        const size_t eol = log.rfind(L"\r\n");
        if (o.fault.empty() && o.verdict != log.substr(eol == std::wstring::npos ? 0 : eol + 2))
            o.fault = "the verdict box is not the log's last line";
        Walk(stage_.root, stage_.target, after);
        for (const auto& [name, bytes] : after)
            if (!before.count(name) || before[name] != bytes)
                o.fault += " written outside: " + name;
        for (const auto& [name, bytes] : before)
            if (!after.count(name))
                o.fault += " removed outside: " + name;
        o.fault += Leftovers(stage_.target);
        if (!o.fault.empty())
            program_.reset(), Open();   // the next case gets a program in a known state
        return o.fault;
    }

    Stage stage_{ "list" };
    std::optional<StagedProgram> program_;
};

// Generated list files. Each part of an entry climbs, wanders and names a file, so that a program that let
// one rule slip would copy from or to outside; the pieces are joined by either separator, and some files
// are plain noise. A part climbs at most four levels: the watched tree is four levels above bin\ and target\.
std::string Generate(std::mt19937& rng, const Stage& s)
{
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    if (pick(8) == 0)
    {
        std::string noise = pick(2) ? "[FileList]\r\nFilesCount=3\r\n" : std::string("\xFF\xFE[\0F\0", 6);
        for (size_t n = pick(600); n > 0; --n)
            noise += char(pick(256));
        return noise;
    }
    const std::string climbs[] = { "..", "sub\\..\\..", ".\\..", "../.", "\x81\\..", ".. " };
    const std::string wanders[] = { "sub", ".", "outside", "", "\x95\x5C", "\xA4\x5C", "link", std::string(300, 'a') };
    const std::string files[] = { "page.htm", "sub\\deep.htm", "secret.htm", "NUL", "CON", "COM1", "CONIN$",
                                  "page.htm:s", "page.htm::$DATA", "C:secret.htm", s.base + "secret.htm", "\\\\?\\" + s.base + "secret.htm",
                                  "\\\\localhost\\C$\\" + s.base.substr(3) + "secret.htm", "\"page.htm\"", "*", "%s%n", "page.htm. " };
    auto part = [&](bool file) {
        std::string text;
        for (size_t k = 0, n = pick(5); k < n; ++k)
            text += (pick(2) ? climbs[pick(std::size(climbs))] : wanders[pick(std::size(wanders))]) + (pick(4) ? "\\" : "/");
        return text + (file ? files[pick(3) ? pick(3) : pick(std::size(files))] : "");
    };
    const size_t entries = 1 + pick(5);
    const std::string counts[] = { std::to_string(entries), "-1", "4294967295", "99999999999999999999", "abc", " 2" };
    std::string ini = "[FileList]\r\nFilesCount=" + counts[pick(3) ? 0 : pick(std::size(counts))] + "\r\n";
    for (size_t i = 1; i <= entries; ++i)
        ini += "File" + std::to_string(pick(5) ? i : 1) + "=" + part(true) + (pick(4) ? "," + part(false) : "") + "\r\n";
    return ini;
}

// A list file whose entries are numbered from 1 and counted.
std::string List(const std::vector<std::string>& entries)
{
    std::string ini = "[FileList]\r\nFilesCount=" + std::to_string(entries.size()) + "\r\n";
    for (size_t i = 0; i < entries.size(); ++i)
        ini += "File" + std::to_string(i + 1) + "=" + entries[i] + "\r\n";
    return ini;
}

TEST_F(ListFile, NamedAndGeneratedFilesKeepEveryCopyInside)
{
    // Parent folders, absolute, UNC, drive-relative names and streams come from the generator below (and
    // the contained-path table of the worker's tests); these are the cases only a whole run can show.
    const struct
    {
        const char* name;
        std::string ini;
        bool link = false;
    } rows[] = {
        { "devices", List({ "NUL", "CON", "COM1", "sub\\AUX", "CONIN$", "page.htm,NUL", "page.htm,CON" }) },
        { "names past 260 bytes", List({ std::string(300, 'a'), "page.htm," + std::string(300, 'b'),
                                         "page.htm," + std::string(260, 'c') + "\\..\\..\\outside" }) },
        // The folder itself fits, a temporary file's name inside it does not.
        { "folder one byte short of MAX_PATH", List({ "page.htm," + std::string(258 - stage_.target.size(), 'f') }) },
        { "values past 519 bytes", List({ std::string(600, 'e'), "page.htm," + std::string(600, 'd') }) },
        { "duplicated keys", "[FileList]\nFilesCount=1\nFile1=page.htm,..\\outside\nFile1=page.htm\n"
                             "[FileList]\nFilesCount=2\nFile2=..\\secret.htm\n" },
        { "trail byte 0x5C", List({ "page.htm,\x81\\..\\..\\outside", "\x95\\..\\secret.htm", "sub\\deep.htm,\xA4\\..\\..\\outside" }) },
        { "FilesCount negative", "[FileList]\nFilesCount=-1\nFile1=page.htm\n" },
        { "FilesCount past 32 bits", "[FileList]\nFilesCount=4294967296\nFile1=page.htm\n" },
        { "FilesCount not a number", "[FileList]\nFilesCount=abc\nFile1=page.htm\n" },
        { "directory link in the target", List({ "page.htm,link", "sub\\deep.htm,link\\inner" }), true },
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ("", Check(rows[i].ini, rows[i].link)) << "row " << i << " (" << rows[i].name << ")";

    // ZEM_ROBUST_CASES and ZEM_ROBUST_SEED widen or move the generated run.
    const char* cases = std::getenv("ZEM_ROBUST_CASES");
    const char* seedText = std::getenv("ZEM_ROBUST_SEED");
    const unsigned seed = seedText ? unsigned(std::strtoul(seedText, nullptr, 10)) : 1;
    std::mt19937 rng(seed);
    for (int k = 0, n = cases ? std::atoi(cases) : 12; k < n; ++k)
    {
        std::string ini = Generate(rng, stage_);
        EXPECT_EQ("", Check(ini, false)) << "seed " << seed << ", case " << k << ":\n"
                                         << testing::PrintToString(ini);
    }
    EXPECT_EQ(std::optional<DWORD>(0), program_->Exit());
}

TEST(FullDisk, PackageThatDoesNotFitLeavesThePublishedFilesAlone)
{
    Stage stage("full");
    // A tmpfs of 256 KB, unmounted when the test ends; should the test process die first, the test
    // command unmounts what is left when it ends.
    const std::string tiny = UnixPath(stage.base + "tiny");
    CreateDirectoryA((stage.base + "tiny").c_str(), nullptr);
    if (Shell("mount -t tmpfs -o size=256k zemtiny " + tiny))
        GTEST_SKIP() << "no tmpfs could be mounted here (needs mount rights): full disk not tried";
    struct Unmount
    {
        std::string path;
        ~Unmount() { Shell("umount " + path + " || umount -l " + path); }
    } unmount{ tiny };
    const std::string target = stage.base + "tiny\\ZemWeb\\", page(16 * 1024, 'p'), package(100 * 1024, 'a');
    Put(stage.bin + "ZemWebSetup.ini", "[FileList]\r\nFilesCount=1\r\nFile1=page.htm\r\n");
    Put(stage.bin + "page.htm", page);
    Put(stage.bin + "ZemSetup.exe", package);
    StagedProgram program(stage);
    ASSERT_NE(nullptr, program.dialog);
    InstallResult first = program.Install(target);
    ASSERT_EQ("", first.fault);
    ASSERT_EQ(L"Setup finished.", first.verdict) << first.log;

    Put(stage.bin + "ZemSetup.exe", std::string(300 * 1024, 'b'));   // more than the whole drive
    InstallResult second = program.Install(target);
    ASSERT_EQ("", second.fault);
    EXPECT_EQ(L"Setup failed.", second.verdict);
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_DISK_FULL, 0, text, 512, nullptr);
    EXPECT_NE(std::wstring::npos, second.log.find(L"Error[112]: " + std::wstring(text))) << second.log;
    EXPECT_TRUE(ReadTextFile(target + "page.htm") == page) << "the published page changed";
    EXPECT_TRUE(ReadTextFile(target + "ZemSetup.exe") == package) << "the published package changed";
    EXPECT_EQ("", Leftovers(target));
    EXPECT_EQ(std::optional<DWORD>(0), program.Exit());
}

}   // namespace
