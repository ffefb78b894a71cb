// What one site query costs as the store grows: the program's own QuerySiteInfo (a connection of its
// own per call, COM initialised and uninitialised around it) against stores of 1, 500 and 5,000 sites.
// Prints the first call (the file is parsed), the calls after it (min, median, max over runs of 200),
// and the ratio of the best run to the one-site store's.
#include <initguid.h>   // defines the admin base object's class and interface ids in this unit

#include "SiteInfo.h"

#include <windows.h>
#include <iadmw.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::wstring WriteStore(int sites)
{
    std::string xml = "<?xml version =\"1.0\"?>\n<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\n"
                      "<MBProperty>\n<IIsComputer Location =\"/LM\">\n</IIsComputer>\n"
                      "<IIsWebService Location =\"/LM/W3SVC\">\n</IIsWebService>\n";
    for (int n = 1; n <= sites; ++n) {
        std::string site = std::to_string(n);
        xml += "<IIsWebServer Location =\"/LM/W3SVC/" + site + "\" ServerBindings=\":" + std::to_string(8000 + n) +
               ":\" ServerComment=\"Site " + site + "\">\n</IIsWebServer>\n<IIsWebVirtualDir Location =\"/LM/W3SVC/" +
               site + "/ROOT\" Path=\"C:\\web\\" + site + "\">\n</IIsWebVirtualDir>\n";
    }
    xml += "</MBProperty>\n</configuration>\n";
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"zem-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(sites) + L".xml";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr);
    ::CloseHandle(file);
    return path;
}

double Micros(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

} // namespace

int main()
{
    const int kCalls = 200;
    const int kRuns = 5;
    double baseline = 0;
    for (int sites : { 1, 500, 5000 }) {
        std::wstring path = WriteStore(sites);
        ::SetEnvironmentVariableW(L"ZEM_METABASE_PATH", path.c_str());
        WCHAR description[SITE_VALUE_CCH], root[SITE_VALUE_CCH], binding[SITE_VALUE_CCH];
        auto start = Clock::now();
        HRESULT hr = QuerySiteInfo(1, description, root, binding);
        double first = Micros(start);
        std::vector<double> perCall;
        for (int run = 0; run < kRuns && SUCCEEDED(hr); ++run) {
            start = Clock::now();
            for (int i = 0; i < kCalls && SUCCEEDED(hr); ++i)
                hr = QuerySiteInfo(1 + (i * 7919) % sites, description, root, binding);
            perCall.push_back(Micros(start) / kCalls);
        }
        ::DeleteFileW(path.c_str());
        if (FAILED(hr)) {
            std::printf("%5d sites: QuerySiteInfo failed: 0x%08lX\n", sites, static_cast<unsigned long>(hr));
            return 1;
        }
        // What COM itself costs: the connection without a single call on it.
        std::vector<double> connection;
        for (int run = 0; run < kRuns; ++run) {
            start = Clock::now();
            for (int i = 0; i < kCalls; ++i) {
                ::CoInitialize(nullptr);
                IMSAdminBaseW* admin = nullptr;
                if (SUCCEEDED(::CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_ALL, IID_IMSAdminBase_W,
                                                 reinterpret_cast<void**>(&admin))))
                    admin->Release();
                ::CoUninitialize();
            }
            connection.push_back(Micros(start) / kCalls);
        }
        std::sort(connection.begin(), connection.end());
        std::sort(perCall.begin(), perCall.end());
        // The fastest run is the one least disturbed by whatever else the machine is doing.
        double best = perCall.front();
        if (sites == 1)
            baseline = best;
        std::printf("%5d sites: first call %9.0f us; then %6.0f us/call (median %.0f, max %.0f): ratio %.2f;"
                    " the connection alone %.0f us\n",
                    sites, first, best, perCall[perCall.size() / 2], perCall.back(), best / baseline, connection.front());
    }
    return 0;
}
