// The program's speed figures, each as min/median/max over several runs and as a ratio to a baseline
// measured in the same runs:
//   install  the real program, driven from outside: from pressing Install to the verdict's message box,
//            with 1,000 list entries of 16 KB and a 64 MB package, against a bare CopyFileW loop over the
//            same files into a fresh folder;
//   startup  process start to the main dialog holding its site list, 500 sites against one;
//   log      the cost of a log line after 1,500 lines against the first lines, for the pane's append.
// Usage: zem_bench [runs] [install|startup|log]...   (default 5 runs, all figures)
#include "LogPane.h"
#include "ProgramRun.h"
#include "resource.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace ui = zem::ui;

// How often the start-up figure looks at the site list (see InstallOptions::poll).
const ui::Millis kPoll{20};

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Report(const char* name, const char* unit, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("  %-34s min %9.3f  median %9.3f  max %9.3f %s\n", name, values.front(), values[values.size() / 2],
                values.back(), unit);
}

void WriteFile(const std::wstring& path, const std::string& data)
{
    if (!ui::WriteTextFile(path, data))
        throw ui::DriverError("cannot write a bench file");
}

// A store with sites 1 to n, each with its own root folder below root.
std::string Store(int n, const std::wstring& root)
{
    std::string rootA(root.begin(), root.end());
    std::string xml = "<?xml version =\"1.0\"?>\n<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\n"
                      "<MBProperty>\n<IIsWebService\tLocation =\"/LM/W3SVC\"\n\t>\n</IIsWebService>\n";
    for (int i = 1; i <= n; ++i) {
        std::string site = "/LM/W3SVC/" + std::to_string(i);
        xml += "<IIsWebServer\tLocation =\"" + site + "\"\n\t\tServerBindings=\":" + std::to_string(8000 + i) +
               ":\"\n\t\tServerComment=\"Site " + std::to_string(i) + "\"\n\t>\n</IIsWebServer>\n";
        xml += "<IIsWebVirtualDir\tLocation =\"" + site + "/ROOT\"\n\t\tPath=\"" + rootA + "\\site" + std::to_string(i) +
               "\"\n\t>\n</IIsWebVirtualDir>\n";
    }
    return xml + "</MBProperty>\n</configuration>\n";
}

struct Bench
{
    std::wstring work; // everything the bench writes lies below this folder
    std::wstring program;

    ui::StartOptions Options(const std::wstring& store) const
    {
        ui::StartOptions options;
        options.environment = {{L"ZEM_METABASE_PATH", store}};
        return options;
    }

    // The program beside its list file, 1,000 pages and the package; one site in a pristine store.
    void PrepareInstall()
    {
        std::wstring prog = work + L"\\prog";
        ::CreateDirectoryW(prog.c_str(), nullptr);
        ::CreateDirectoryW((prog + L"\\web").c_str(), nullptr);
        program = prog + L"\\WebSetup.exe";
        if (!::CopyFileW((ui::ExeFolder() + L"ZemWebSetup.exe").c_str(), program.c_str(), FALSE))
            throw ui::DriverError("ZemWebSetup.exe is not beside the bench");
        std::string list = "[FileList]\r\nFilesCount=1000\r\n";
        std::string page(16 * 1024, 'p');
        for (int i = 1; i <= 1000; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "web\\p%04d.htm", i);
            WriteFile(prog + L"\\" + std::wstring(name, name + std::strlen(name)), page);
            list += "File" + std::to_string(i) + "=" + name + "\r\n";
        }
        WriteFile(prog + L"\\WebSetup.ini", list);
        WriteFile(prog + L"\\ZemSetup.exe", std::string(64 * 1024 * 1024, 'z'));
        WriteFile(work + L"\\one.xml", Store(1, work + L"\\wwwroot"));
    }

    // Seconds from pressing Install to the verdict, with a fresh store and target folder.
    double Install(int run)
    {
        std::wstring store = work + L"\\run.xml";
        ::CopyFileW((work + L"\\one.xml").c_str(), store.c_str(), FALSE);
        std::wstring target = work + L"\\target" + std::to_wstring(run);
        ui::Program program(this->program, Options(store));
        ui::InstallOptions options;
        options.folder = target + L"\\ZemWeb";
        options.timeout = ui::Millis{600000};
        ui::InstallResult result = ui::RunInstall(program, options);
        if (!result.fault.empty())
            throw ui::DriverError(result.fault);
        if (result.verdict != ui::ProgramString(this->program, IDS_SETUP_FINISHED))
            std::printf("  (run %d: the verdict was not \"Setup finished.\")\n", run);
        program.Exit();
        ui::RemoveTree(target);
        return result.seconds;
    }

    // Seconds for the bare copy of the same files into a fresh folder.
    double BareCopy(int run)
    {
        std::wstring prog = work + L"\\prog";
        std::wstring target = work + L"\\bare" + std::to_wstring(run);
        auto start = Clock::now();
        ::CreateDirectoryW(target.c_str(), nullptr);
        for (int i = 1; i <= 1000; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"\\p%04d.htm", i);
            if (!::CopyFileW((prog + L"\\web" + name).c_str(), (target + name).c_str(), FALSE))
                throw ui::DriverError("bare copy failed");
        }
        if (!::CopyFileW((prog + L"\\ZemSetup.exe").c_str(), (target + L"\\ZemSetup.exe").c_str(), FALSE))
            throw ui::DriverError("bare copy failed");
        double seconds = Seconds(start);
        ui::RemoveTree(target);
        return seconds;
    }

    // Seconds from process start to the site list holding all n sites.
    double Startup(const std::wstring& store, int n)
    {
        auto start = Clock::now();
        ui::DriverProcess process = ui::DriverProcess::Start(ui::ExeFolder() + L"ZemWebSetup.exe", Options(store));
        HWND combo = nullptr;
        ui::WaitUntil([&] {
            for (HWND h : process.Windows(L"#32770"))
                if (HWND c = ::GetDlgItem(h, IDC_SITE))
                    combo = c;
            return combo && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) == n;
        },
                      ui::Millis{600000}, kPoll);
        double seconds = Seconds(start);
        for (HWND h : process.Windows(L"#32770"))
            ui::Post(h, WM_COMMAND, IDCANCEL);
        process.WaitExit();
        return seconds;
    }
};

// Microseconds per line for `count` lines appended after the pane already holds `before` lines.
double MicrosPerLine(int before, int count)
{
    const DWORD kPaneStyle = 0x50B108C4; // the log pane's own styles, as a top-level window here
    HWND hEdit = ::CreateWindowExA(0, "EDIT", "", (kPaneStyle & ~WS_CHILD) | WS_POPUP, 0, 0, 600, 180, nullptr, nullptr,
                                   nullptr, nullptr);
    ::SendMessageA(hEdit, EM_SETLIMITTEXT, 0, 0);
    const std::string line = "C:\\Inetpub\\wwwroot\\ZemWeb\\images\\download-button.gif\r\n";
    std::string filled;
    for (int i = 0; i < before; ++i)
        filled += line;
    AppendTextToPane(hEdit, filled.c_str());
    auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        AppendTextToPane(hEdit, line.c_str());
    double us = Seconds(start) * 1e6 / count;
    ::DestroyWindow(hEdit);
    return us;
}

std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return ratios;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<std::string> figures(argv + (argc > 1 ? 2 : 1), argv + argc);
    if (figures.empty())
        figures = {"install", "startup", "log"};
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    Bench bench;
    bench.work = std::wstring(temp) + L"zembench";
    ui::RemoveTree(bench.work);
    ::CreateDirectoryW(bench.work.c_str(), nullptr);
    try {
        for (const std::string& figure : figures) {
            std::vector<double> a, b;
            if (figure == "install") {
                bench.PrepareInstall();
                bench.Install(0); // the first start of a program in the prefix pays for the prefix
                for (int i = 1; i <= runs; ++i) {
                    a.push_back(bench.Install(i));
                    b.push_back(bench.BareCopy(i));
                }
                std::printf("install (1,000 x 16 KB + 64 MB), %d runs\n", runs);
                Report("Install to verdict", "s", a);
                Report("bare CopyFileW loop", "s", b);
                Report("ratio", "x", Ratios(a, b));
            } else if (figure == "startup") {
                std::wstring one = bench.work + L"\\start1.xml", many = bench.work + L"\\start500.xml";
                WriteFile(one, Store(1, bench.work + L"\\wwwroot"));
                WriteFile(many, Store(500, bench.work + L"\\wwwroot"));
                bench.Startup(one, 1);
                for (int i = 0; i < runs; ++i) {
                    a.push_back(bench.Startup(many, 500));
                    b.push_back(bench.Startup(one, 1));
                }
                std::printf("startup to the site list, %d runs\n", runs);
                Report("500 sites", "s", a);
                Report("1 site", "s", b);
                Report("ratio", "x", Ratios(a, b));
            } else if (figure == "log") {
                for (int i = 0; i < runs; ++i) {
                    a.push_back(MicrosPerLine(1500, 20));
                    b.push_back(MicrosPerLine(0, 20));
                }
                std::printf("log pane append, %d runs\n", runs);
                Report("line after 1,500 lines", "us", a);
                Report("first lines", "us", b);
                Report("ratio", "x", Ratios(a, b));
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
    ui::RemoveTree(bench.work);
    return 0;
}
