// The real ZemWebSetup.exe, copied into a staging tree of its own, against what could lie beside it or
// around its target folder: hostile list files (named ones and generated ones), a directory link inside
// the target, a full disk and an oversized package field. After every run: no crash, no hang, a verdict,
// nothing written outside the target, nothing read from outside the program's folder, no temporary file.
#include <random>

#include "robust_support.h"

namespace {

using namespace zem::robust;

// --- Hostile list files -----------------------------------------------------------------------------------

class ListFile : public testing::Test {
protected:
    void SetUp() override { Open(); }
    void Open()
    {
        program_.emplace(stage_);
        ASSERT_NE(nullptr, program_->dialog) << "the main dialog did not show";
    }
    // One list file through one Install: every broken rule, or empty.
    std::string Check(const std::string& ini, bool link)
    {
        if (Shell("rm -rf '" + UnixPath(stage_.target) + "' && mkdir '" + UnixPath(stage_.target) + "'" +
                  (link ? " && ln -s '" + UnixPath(stage_.root + "elsewhere") + "' '" + UnixPath(stage_.target + "link") + "'"
                        : std::string())) != 0)
            return "the host's shell could not prepare the target folder";
        Put(stage_.bin + "ZemWebSetup.ini", ini);
        Tree before, after;
        Walk(stage_.root, stage_.target, before);
        Outcome o;
        try {
            o = program_->Install(stage_.target);
        } catch (const DriverError& e) {
            o.fault = e.what();
        }
        if (o.fault.empty() && o.verdict != LastLine(o.log)) o.fault = "the verdict box is not the log's last line";
        Walk(stage_.root, stage_.target, after);
        for (const auto& [name, bytes] : after)
            if (!before.count(name) || before[name] != bytes) o.fault += " written outside: " + name;
        for (const auto& [name, bytes] : before)
            if (!after.count(name)) o.fault += " removed outside: " + name;
        o.fault += Leftovers(stage_.target);
        if (!o.fault.empty()) {   // the next case gets a program in a known state
            program_->End();
            Open();
        }
        return o.fault;
    }

    Stage stage_{"list"};
    std::optional<Program> program_;
};

// Generated list files. Each part of an entry climbs, wanders and names a file, so that a program that let
// one rule slip would copy from or to outside; the pieces are joined by either separator, and some files
// are plain noise. A part climbs at most four levels: the watched tree is four levels above bin\ and target\.
std::string Generate(std::mt19937& rng, const Stage& s)
{
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    if (pick(8) == 0) {
        std::string noise = pick(2) ? "[FileList]\r\nFilesCount=3\r\n" : std::string("\xFF\xFE[\0F\0", 6);
        for (size_t n = pick(600); n > 0; --n) noise += char(pick(256));
        return noise;
    }
    const std::string climbs[] = {"..", "sub\\..\\..", ".\\..", "../.", "\x81\\..", ".. "};
    const std::string wanders[] = {"sub", ".", "outside", "", "\x95\x5C", "\xA4\x5C", "link", std::string(300, 'a')};
    const std::string files[] = {"page.htm", "sub\\deep.htm", "secret.htm", "NUL", "CON", "COM1", "CONIN$",
        "page.htm:s", "page.htm::$DATA", "C:secret.htm", s.base + "secret.htm", "\\\\?\\" + s.base + "secret.htm",
        "\\\\localhost\\C$\\" + s.base.substr(3) + "secret.htm", "\"page.htm\"", "*", "%s%n", "page.htm. "};
    auto part = [&](bool file) {
        std::string text;
        for (size_t k = 0, n = pick(5); k < n; ++k)
            text += (pick(2) ? climbs[pick(std::size(climbs))] : wanders[pick(std::size(wanders))]) + (pick(4) ? "\\" : "/");
        return text + (file ? files[pick(3) ? pick(3) : pick(std::size(files))] : "");
    };
    const size_t entries = 1 + pick(5);
    const std::string counts[] = {std::to_string(entries), "-1", "4294967295", "99999999999999999999", "abc", " 2"};
    std::string ini = "[FileList]\r\nFilesCount=" + counts[pick(3) ? 0 : pick(std::size(counts))] + "\r\n";
    for (size_t i = 1; i <= entries; ++i)
        ini += "File" + std::to_string(pick(5) ? i : 1) + "=" + part(true) + (pick(4) ? "," + part(false) : "") + "\r\n";
    return ini;
}

// A list file whose entries are numbered from 1 and counted.
std::string List(const std::vector<std::string>& entries)
{
    std::string ini = "[FileList]\r\nFilesCount=" + std::to_string(entries.size()) + "\r\n";
    for (size_t i = 0; i < entries.size(); ++i) ini += "File" + std::to_string(i + 1) + "=" + entries[i] + "\r\n";
    return ini;
}

TEST_F(ListFile, NamedAndGeneratedFilesKeepEveryCopyInside)
{
    const std::string& base = stage_.base;
    const std::string unc = "\\\\localhost\\C$\\" + base.substr(3);
    const struct {
        const char* name;
        std::string ini;
        bool link = false;
    } rows[] = {
        {"parent folders", List({"..\\secret.htm", "..\\..\\secret.htm", "page.htm,..\\outside", "page.htm,sub\\..\\..",
                                 "page.htm,../.."})},
        {"absolute and UNC", List({base + "secret.htm", "\\\\?\\" + base + "secret.htm", unc + "secret.htm", "/secret.htm",
                                   "page.htm,\\\\?\\" + base + "outside", "page.htm," + unc + "outside"})},
        {"drive-relative", List({"C:secret.htm", "C:..\\secret.htm", "page.htm,C:..\\outside"})},
        {"devices", List({"NUL", "CON", "COM1", "sub\\AUX", "CONIN$", "page.htm,NUL", "page.htm,CON"})},
        {"streams", List({"page.htm:x", "page.htm,sub:s", "page.htm::$DATA"})},
        {"names past 260 bytes", List({std::string(300, 'a'), "page.htm," + std::string(300, 'b'),
                                       "page.htm," + std::string(260, 'c') + "\\..\\..\\outside"})},
        // The folder itself fits, a temporary file's name inside it does not.
        {"folder one byte short of MAX_PATH", List({"page.htm," + std::string(258 - stage_.target.size(), 'f')})},
        {"values past 519 bytes", List({std::string(600, 'e'), "page.htm," + std::string(600, 'd')})},
        {"duplicated keys", "[FileList]\nFilesCount=1\nFile1=page.htm,..\\outside\nFile1=page.htm\n"
                            "[FileList]\nFilesCount=2\nFile2=..\\secret.htm\n"},
        {"trail byte 0x5C", List({"page.htm,\x81\\..\\..\\outside", "\x95\\..\\secret.htm", "sub\\deep.htm,\xA4\\..\\..\\outside"})},
        {"FilesCount negative", "[FileList]\nFilesCount=-1\nFile1=page.htm\n"},
        {"FilesCount past 32 bits", "[FileList]\nFilesCount=4294967296\nFile1=page.htm\n"},
        {"FilesCount not a number", "[FileList]\nFilesCount=abc\nFile1=page.htm\n"},
        {"directory link in the target", List({"page.htm,link", "sub\\deep.htm,link\\inner"}), true},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ("", Check(rows[i].ini, rows[i].link)) << "row " << i << " (" << rows[i].name << ")";

    const char* cases = std::getenv("ZEM_ROBUST_CASES");
    const char* seedText = std::getenv("ZEM_ROBUST_SEED");
    const unsigned seed = seedText ? unsigned(std::strtoul(seedText, nullptr, 10)) : 1;
    std::mt19937 rng(seed);
    for (int k = 0, n = cases ? std::atoi(cases) : 12; k < n; ++k) {
        std::string ini = Generate(rng, stage_);
        EXPECT_EQ("", Check(ini, false)) << "seed " << seed << ", case " << k << ":\n" << testing::PrintToString(ini);
    }
    EXPECT_EQ(std::optional<DWORD>(0), program_->Close());
}

// --- An oversized package field -----------------------------------------------------------------------------

TEST(PackageField, OversizedTextIsRefusedWithABoundedMessage)
{
    Stage stage("field");
    for (size_t length : {20000u, 40000u}) {
        Program program(stage);
        ASSERT_NE(nullptr, program.dialog) << length;
        const std::wstring package = L"C:\\" + std::wstring(length - 3, L'x');
        Send(Item(program.dialog, IDC_PACKAGE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(package.c_str()));
        Outcome o = program.Install(stage.target);
        EXPECT_EQ("", o.fault) << length << " characters";
        if (!o.fault.empty()) continue;
        EXPECT_EQ(0u, o.verdict.find(L"Cannot find file")) << length << " characters";
        // A box draws a few thousand characters safely; the field is not quoted whole.
        EXPECT_LE(o.verdict.size(), 4096u) << length << " characters";
        EXPECT_TRUE(program.process.WaitIdle(10s)) << length << " characters";
        EXPECT_EQ(std::optional<DWORD>(0), program.Close()) << length << " characters";
    }
}

// --- A full disk --------------------------------------------------------------------------------------------

TEST(FullDisk, PackageThatDoesNotFitLeavesThePublishedFilesAlone)
{
    Stage stage("full");
    TinyDrive drive(stage.base + "tiny");
    if (!drive.Mounted()) GTEST_SKIP() << "no tmpfs could be mounted here (needs mount rights): full disk not tried";
    const std::string target = stage.base + "tiny\\ZemWeb\\", page(16 * 1024, 'p'), package(100 * 1024, 'a');
    Put(stage.bin + "ZemWebSetup.ini", "[FileList]\r\nFilesCount=1\r\nFile1=page.htm\r\n");
    Put(stage.bin + "page.htm", page);
    Put(stage.bin + "ZemSetup.exe", package);
    Program program(stage);
    ASSERT_NE(nullptr, program.dialog);
    Outcome first = program.Install(target);
    ASSERT_EQ("", first.fault);
    ASSERT_EQ(L"Setup finished.", first.verdict) << first.log;

    Put(stage.bin + "ZemSetup.exe", std::string(300 * 1024, 'b'));   // more than the whole drive
    Outcome second = program.Install(target);
    ASSERT_EQ("", second.fault);
    EXPECT_EQ(L"Setup failed.", second.verdict);
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_DISK_FULL, 0, text, 512, nullptr);
    EXPECT_NE(std::wstring::npos, second.log.find(L"Error[112]: " + std::wstring(text))) << second.log;
    EXPECT_TRUE(Get(target + "page.htm") == page) << "the published page changed";
    EXPECT_TRUE(Get(target + "ZemSetup.exe") == package) << "the published package changed";
    EXPECT_EQ("", Leftovers(target));
    EXPECT_EQ(std::optional<DWORD>(0), program.Close());
}

}  // namespace
