// MetaBase.xml: IIS's layout read, everything written read back, changes shared between processes; and
// what no store file, killed writer or full disk may do: crash, hang, or cost a store its content.
#include "MetabaseTest.h"

#include <random>

namespace zem::ui {

namespace {

using Store = MetabaseTest;
using Faults = MetabaseTest;
using DiskFull = MetabaseTest;

// The layout IIS 6 writes: attributes on their own lines, a multi-string over two lines with tabs,
// Custom elements with and without schema names, IIS_Global first.
const char kIisFile[] =
    "<?xml version =\"1.0\"?>\r\n<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\r\n<MBProperty>\r\n"
    "<IIS_Global\tLocation =\".\"\r\n\t\tSessionKey=\"496344627000000024d680\"\r\n\t>\r\n</IIS_Global>\r\n"
    "<IIS_ROOT\tLocation =\"/\"\r\n\t>\r\n</IIS_ROOT>\r\n<IIsComputer\tLocation =\"/LM\"\r\n\t>\r\n</IIsComputer>\r\n"
    "<IIsWebService\tLocation =\"/LM/W3SVC\"\r\n\t\tAccessFlags=\"AccessRead | AccessScript\"\r\n"
    "\t\tServerAutoStart=\"TRUE\"\r\n\t>\r\n</IIsWebService>\r\n"
    "<IIsWebServer\tLocation =\"/LM/W3SVC/1\"\r\n\t\tServerBindings=\":80:\r\n\t\t\t:8080:www.example.com\"\r\n"
    "\t\tServerComment=\"Default Web Site &amp; more\"\r\n\t>\r\n</IIsWebServer>\r\n"
    "<IIsWebVirtualDir\tLocation =\"/LM/W3SVC/1/ROOT\"\r\n\t\tPath=\"c:\\inetpub\\wwwroot\"\r\n\t>\r\n</IIsWebVirtualDir>\r\n"
    "<IIsWebVirtualDir\tLocation =\"/LM/W3SVC/1/ROOT/SampleApp\"\r\n\t\tAccessFlags=\"AccessRead\"\r\n"
    "\t\tDefaultDoc=\"a.htm,b.htm\"\r\n\t\tPath=\"c:\\sample\\web\"\r\n\t>\r\n"
    "\t<Custom\r\n\t\tName=\"UnknownName_70001\"\r\n\t\tID=\"70001\"\r\n\t\tValue=\"7\"\r\n\t\tType=\"DWORD\"\r\n"
    "\t\tUserType=\"2001\"\r\n\t\tAttributes=\"INHERIT\"\r\n\t/>\r\n"
    "\t<Custom\r\n\t\tName=\"UnknownName_70002\"\r\n\t\tID=\"70002\"\r\n\t\tValue=\"first\r\n\t\t\tsecond\"\r\n"
    "\t\tType=\"MULTISZ\"\r\n\t\tUserType=\"IIS_MD_UT_FILE\"\r\n\t\tAttributes=\"NO_ATTRIBUTES\"\r\n\t/>\r\n"
    "</IIsWebVirtualDir>\r\n</MBProperty>\r\n</configuration>\r\n";

TEST_F(Store, ReadsTheLayoutIisWritesAndEverythingWrittenComesBack)
{
    WriteStoreFile(kIisFile);
    const wchar_t* app = L"/LM/W3SVC/1/ROOT/SampleApp";
    const DWORD I = METADATA_INHERIT, F = IIS_MD_UT_FILE, S = IIS_MD_UT_SERVER;
    const BYTE binary[] = { 0, 1, 0xFE, 0xFF };
    // path, id, data type, bytes, attributes, user type; rows from `written` on are set here, the rest read.
    const struct
    {
        const wchar_t* path;
        DWORD id;
        DWORD type;
        std::vector<BYTE> data;
        DWORD attributes;
        DWORD user;
    } rows[] = {
        { app, MD_KEY_TYPE, STRING_METADATA, StringBytes(L"IIsWebVirtualDir"), 0, S },
        { app, MD_VR_PATH, STRING_METADATA, StringBytes(L"c:\\sample\\web"), I, F },
        { app, MD_ACCESS_PERM, DWORD_METADATA, DwordBytes(MD_ACCESS_READ), I, F },
        { app, MD_DEFAULT_LOAD_FILE, STRING_METADATA, StringBytes(L"a.htm,b.htm"), I, F },
        { app, 70001, DWORD_METADATA, DwordBytes(7), I, 2001 },
        { app, 70002, MULTISZ_METADATA, MultiStringBytes({ L"first", L"second" }), 0, F },
        { L"/LM/W3SVC/1", MD_SERVER_COMMENT, STRING_METADATA, StringBytes(L"Default Web Site & more"), I, S },
        { L"/LM/W3SVC/1", MD_SERVER_BINDINGS, MULTISZ_METADATA, MultiStringBytes({ L":80:", L":8080:www.example.com" }), 0, S },
        { L"/LM/W3SVC", MD_ACCESS_PERM, DWORD_METADATA, DwordBytes(MD_ACCESS_READ | MD_ACCESS_SCRIPT), I, F },
        { L"/LM", MD_KEY_TYPE, STRING_METADATA, StringBytes(L"IIsComputer"), 0, S },
        // As the program writes a virtual directory: even the key type inheritable, with the file user type.
        { L"/LM/W3SVC/1/ROOT/Zem", MD_KEY_TYPE, STRING_METADATA, StringBytes(L"IIsWebVirtualDir"), I, F },
        { L"/LM/W3SVC/1/ROOT/Zem", MD_VR_PATH, STRING_METADATA, StringBytes(L"C:\\inetpub\\wwwroot\\ZemWeb\\"), I, F },
        // Values the attribute text cannot carry as they are.
        { L"/LM/W3SVC/2", MD_SERVER_COMMENT, STRING_METADATA, StringBytes(L"<\"quoted\" & 'apostrophes'> "), I, S },
        { L"/LM/W3SVC/2", 70010, STRING_METADATA, StringBytes(L"tab\there\r\nnew line"), 0, 2001 },
        { L"/LM/W3SVC/2", 70011, MULTISZ_METADATA, MultiStringBytes({ L"two  spaces", L" edge ", L"x" }), 0, 2001 },
        { L"/LM/W3SVC/2", 70012, MULTISZ_METADATA, MultiStringBytes({ L"" }), METADATA_SECURE, 2001 },
        { L"/LM/W3SVC/2", 70013, BINARY_METADATA, std::vector<BYTE>(binary, binary + 4), 0, 2001 },
        { L"/LM/W3SVC/2", 70014, EXPANDSZ_METADATA, StringBytes(L"%SystemRoot%\\web"), I, IIS_MD_UT_WAM },
        { L"/LM/W3SVC/2", 70015, STRING_METADATA, StringBytes(L"pi\xD835\xDF0B"), 0, ASP_MD_UT_APP },
        { L"/LM/W3SVC/2", MD_ACCESS_PERM, DWORD_METADATA, DwordBytes(0x80000001), I, F },
        { L"/LM/W3SVC/2", MD_KEY_TYPE, STRING_METADATA, StringBytes(L"Not an element name"), 0, S },
    };
    const size_t written = 10;
    auto expectRows = [&](IMSAdminBaseW* admin, size_t end, const char* when) {
        for (size_t i = 0; i < end; ++i) {
            Value v = Get(admin, 0, rows[i].path, rows[i].id);
            ASSERT_EQ(S_OK, v.hr) << when << ", row " << i << ": " << Hr(v.hr);
            EXPECT_EQ(rows[i].data, v.data) << when << ", row " << i;
            EXPECT_EQ(rows[i].type, v.record.dwMDDataType) << when << ", row " << i;
            EXPECT_EQ(rows[i].user, v.record.dwMDUserType) << when << ", row " << i;
            EXPECT_EQ(rows[i].attributes, v.record.dwMDAttributes) << when << ", row " << i;
        }
    };
    {
        ComPtr<IMSAdminBaseW> admin = Connect();
        expectRows(admin.Get(), written, "as IIS wrote it");
        EXPECT_EQ(HR_MD_DATA_NOT_FOUND, Get(admin.Get(), 0, L"/", MD_KEY_TYPE).hr) << "IIS_ROOT is no key type";
        METADATA_HANDLE lm;
        ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", R | W, lm));
        ASSERT_EQ(S_OK, admin->CloseKey(lm));
        EXPECT_EQ(std::vector<BYTE>(kIisFile, kIisFile + sizeof kIisFile - 1), FileBytes()) << "nothing changed, nothing written";
        EXPECT_EQ((std::vector<std::wstring>{ L"LM" }), ChildNames(admin.Get(), L"/")) << "IIS_Global is no key";
        ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", W, lm));
        for (const wchar_t* key : { L"W3SVC/1/ROOT/Zem", L"W3SVC/2", L"W3SVC/3/Empty" })
            ASSERT_EQ(S_OK, admin->AddKey(lm, key));
        for (size_t i = written; i < ARRAYSIZE(rows); ++i)
            ASSERT_EQ(S_OK, Set(admin.Get(), lm, rows[i].path + 3, rows[i].id, rows[i].type, rows[i].data,
                                rows[i].attributes, rows[i].user))
                << "row " << i;
        ASSERT_EQ(S_OK, Set(admin.Get(), lm, L"W3SVC/2", 70020, STRING_METADATA, StringBytes(L"gone"), METADATA_VOLATILE));
        ASSERT_EQ(S_OK, admin->CloseKey(lm));
    }
    std::vector<BYTE> file = FileBytes();
    std::string text(file.begin(), file.end());
    EXPECT_NE(std::string::npos, text.find("SessionKey=\"496344627000000024d680\"")) << "IIS_Global kept";
    EXPECT_NE(std::string::npos, text.find("ServerAutoStart=\"TRUE\"")) << "an attribute the store does not know kept";

    // A copy this process has never read, so it is parsed afresh.
    std::wstring copy = m_folder + L"\\copy.xml";
    ASSERT_TRUE(::CopyFileW(m_path.c_str(), copy.c_str(), FALSE));
    UseStore(copy);
    ComPtr<IMSAdminBaseW> admin = Connect();
    expectRows(admin.Get(), ARRAYSIZE(rows), "read back");
    EXPECT_EQ((std::vector<std::wstring>{ L"SampleApp", L"Zem" }), ChildNames(admin.Get(), L"/LM/W3SVC/1/ROOT"));
    EXPECT_EQ(HR_MD_DATA_NOT_FOUND, Get(admin.Get(), 0, L"/LM/W3SVC/2", 70020).hr) << "volatile data is not written";
    EXPECT_EQ((std::vector<std::wstring>{ L"Empty" }), ChildNames(admin.Get(), L"/LM/W3SVC/3")) << "keys without data too";
}

int EnvCount(const wchar_t* name, int fallback)
{
    wchar_t text[32];
    DWORD length = ::GetEnvironmentVariableW(name, text, ARRAYSIZE(text));
    return length && length < ARRAYSIZE(text) ? _wtoi(text) : fallback;
}

std::string ValidStore()
{
    std::string xml = "<?xml version =\"1.0\"?>\n<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\n"
                      "<MBProperty>\n<IIsComputer\tLocation =\"/LM\"\n\t>\n</IIsComputer>\n";
    for (const char* n : { "1", "2" })
        xml += std::string("<IIsWebServer\tLocation =\"/LM/W3SVC/") + n + "\"\n\t\tServerBindings=\":80:\n\t\t\t:8" + n +
               ":\"\n\t\tServerComment=\"Site " + n + "\"\n\t>\n</IIsWebServer>\n<IIsWebVirtualDir\tLocation =\"/LM/W3SVC/" +
               n + "/ROOT\"\n\t\tPath=\"C:\\web\\" + n + "\"\n\t>\n\t<Custom\n\t\tName=\"UnknownName_70001\"\n\t\t" +
               "ID=\"70001\"\n\t\tValue=\"7\"\n\t\tType=\"DWORD\"\n\t/>\n</IIsWebVirtualDir>\n";
    return xml + "</MBProperty>\n</configuration>\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    return text.replace(text.find(from), from.size(), to);
}

// The valid store in UTF-16 with one character of site 1's description replaced.
std::string Utf16(wchar_t extra)
{
    std::string bytes = "\xFF\xFE";
    for (char c : Replace(ValidStore(), "Site 1", "Site \x01"))
        bytes += c == '\x01' ? std::string(reinterpret_cast<const char*>(&extra), 2) : std::string(1, c) + '\0';
    return bytes;
}

// Named hostile stores, then the valid store spoilt the way files get spoilt: cut anywhere, bytes changed,
// markup and bad text put in, pieces repeated. readable: 1 or 0 as expected, -1 for a generated case.
struct Hostile
{
    std::string name;
    std::string bytes;
    int readable;
};
std::vector<Hostile> HostileStores(std::mt19937& random, int generated)
{
    const std::string valid = ValidStore();
    std::string open, close, deepPath = "/LM/W3SVC/1/ROOT", noise(4096, '\0');
    for (int i = 0; i < 50000; ++i)
        open += "<a>", close += "</a>";
    for (int i = 0; i < 5000; ++i)
        deepPath += "/d";
    for (char& c : noise)
        c = static_cast<char>(random());
    std::vector<Hostile> cases = {
        { "empty: no sites yet", "", 1 },
        { "only the declaration", "<?xml version=\"1.0\"?>", 0 },
        { "cut after a line break", valid.substr(0, valid.find("</IIsWebServer>\n") + 16), 0 },
        { "elements 50,000 deep", Replace(valid, "</IIsComputer>", open + close + "</IIsComputer>"), 0 },
        { "key path 5,000 deep", Replace(valid, "</MBProperty>", "<IIsConfigObject Location=\"" + deepPath + "\"/></MBProperty>"), 1 },
        { "invalid UTF-8 in a value", Replace(valid, "Site 1", "Site \xC3\x28"), 0 },
        { "UTF-16", Utf16(L'\x263A'), 1 },
        { "UTF-16 with a lone surrogate", Utf16(0xD800), 0 },
        { "NUL inside", Replace(valid, "Site 1", std::string("Site\0", 5)), 0 },
        { "duplicate keys", Replace(valid, "</MBProperty>", "<IIsWebServer Location=\"/lm/w3svc/1\" ServerComment=\"Again\"/></MBProperty>"), 1 },
        { "name of 256 characters", Replace(valid, "/LM/W3SVC/2\"", "/LM/W3SVC/" + std::string(256, 'n') + "\""), 0 },
        { "value of 1 MB", Replace(valid, "Site 2", std::string(1 << 20, 'v')), 1 },
        { "random bytes", noise, 0 },
    };
    static const char* const kInserts[] = { "<", ">", "\"", "&", "</MBProperty>", "<a>", "\xC3", "\xFF\xFE", "\n",
                                            "<?xml version=\"1.0\"?>", "]]>", "<!--", "&#0;" };
    for (int index = 0; index < generated; ++index) {
        std::string bytes = valid;
        for (int c = 0, changes = 1 + random() % 3; c < changes; ++c) {
            size_t at = random() % (bytes.size() + 1);
            switch (random() % 4) {
            case 0: bytes.resize(at); break;
            case 1:
                if (at < bytes.size())
                    bytes[at] = static_cast<char>(random());
                break;
            case 2: bytes.insert(at, kInserts[random() % ARRAYSIZE(kInserts)]); break;
            default: bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 200)); break;
            }
        }
        cases.push_back({ "generated " + std::to_string(index), bytes, -1 });
    }
    return cases;
}

// Each store goes to mdutil, in a process of its own with a time-out, and to a connection of this
// process; every call answers with an HRESULT, and a store that cannot be read is never written.
TEST_F(Faults, NoStoreFileCrashesHangsOrIsOverwritten)
{
    const int seed = EnvCount(L"ZEM_HOSTILE_SEED", 1);
    std::mt19937 random(seed);
    const std::vector<Hostile> cases = HostileStores(random, EnvCount(L"ZEM_HOSTILE_CASES", 40));
    int refused = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Hostile& row = cases[i];
        std::string where = "row " + std::to_string(i) + ", " + row.name + " (seed " + std::to_string(seed) + ")";
        UseStore(m_folder + L"\\hostile" + std::to_wstring(i) + L".xml");
        WriteStoreFile(row.bytes);
        RunResult written = RunMdutil(L"-t 2000 add-key /LM/W3SVC/1/ROOT/Probe", Millis{ 30000 });
        bool added = written.exitCode == 0 && written.output.find("added") != std::string::npos;
        bool failed = written.exitCode == 1 && written.output.find("failed: 0x") != std::string::npos;
        ASSERT_TRUE(added || failed) << where << ": exit " << written.exitCode << "\n"
                                     << written.output.substr(0, 300);
        EXPECT_TRUE(row.readable < 0 || (row.readable == 1) == added) << where << "\n"
                                                                      << written.output.substr(0, 300);
        if (failed) {
            ++refused;
            EXPECT_EQ(std::vector<BYTE>(row.bytes.begin(), row.bytes.end()), FileBytes()) << where;
        }
        ComPtr<IMSAdminBaseW> admin = Connect();
        METADATA_HANDLE probe;
        HRESULT hr = Open(admin.Get(), L"/LM/W3SVC/1/ROOT/Probe", R, probe);
        EXPECT_EQ(added, SUCCEEDED(hr)) << where << ": " << Hr(hr);
        EXPECT_TRUE(FAILED(hr) || admin->CloseKey(probe) == S_OK) << where;
        EXPECT_TRUE(SUCCEEDED(hr) || !failed || FAILED(admin->SaveData())) << where << ": nothing written over it";
        EXPECT_FALSE(TmpLeft()) << where;
    }
    // Mended, the last file is read again, even by a connection made before.
    ComPtr<IMSAdminBaseW> admin = Connect();
    WriteStoreFile(ValidStore());
    wchar_t name[METADATA_MAX_NAME_LEN];
    EXPECT_EQ(S_OK, admin->EnumKeys(0, L"/LM/W3SVC", name, 0));
    // Requests mdutil cannot read are refused with their own status.
    for (const wchar_t* request : { L"", L"-t soon show /LM", L"delete /" })
        EXPECT_EQ(2u, RunMdutil(request).exitCode) << std::string(request, request + wcslen(request));
    std::printf("%zu hostile stores: %d refused, %zu read; no crash, no hang, none overwritten\n", cases.size(), refused,
                cases.size() - refused);
}

// Writers killed at random moments, one after another: each time the store still parses and holds every
// site whose writer finished, and a temporary file left behind never stands in the next writer's way.
TEST_F(Faults, KilledWritersLoseNothingThatWasFinished)
{
    const int runs = EnvCount(L"ZEM_KILL_RUNS", 40);
    std::mt19937 random(EnvCount(L"ZEM_HOSTILE_SEED", 1));
    ASSERT_EQ(0u, RunMdutil(L"add-site 1 Site C:\\ :80:").exitCode);
    std::vector<std::wstring> finished = { L"1" };
    int killed = 0;
    for (int i = 0; i < runs; ++i) {
        std::wstring site = std::to_wstring(100 + i);
        DriverProcess writer = StartMdutil(L"-t 20000 add-site " + site + L" Site C:\\ :80:");
        ::Sleep(random() % 300);
        if (writer.Kill())
            ++killed;
        else if (writer.WaitExit() == std::optional<DWORD>(0))
            finished.push_back(site);
        std::vector<std::wstring> sites = ChildNames(Connect().Get(), L"/LM/W3SVC");
        for (const std::wstring& done : finished)
            ASSERT_NE(sites.end(), std::find(sites.begin(), sites.end(), done))
                << "run " << i << ": site " << std::string(done.begin(), done.end()) << " lost";
    }
    RunResult last = RunMdutil(L"add-site 99 Site C:\\ :80:");
    EXPECT_EQ(0u, last.exitCode) << last.output;
    EXPECT_FALSE(TmpLeft());
    std::printf("%d writers: %d killed while writing, %zu finished, no finished write lost\n", runs, killed,
                finished.size() - 1);
}

// The store on a drive with less room than its next version needs (small_drive.sh mounts one).
TEST_F(DiskFull, WriteFailsWithTheSystemsErrorAndTheStoreStays)
{
    wchar_t folder[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableW(L"ZEM_SMALL_DRIVE", folder, MAX_PATH);
    if (!length || length >= MAX_PATH)
        GTEST_SKIP() << "no small drive given (ZEM_SMALL_DRIVE); tests/iisadmin/small_drive.sh provides one";
    UseStore(std::wstring(folder) + L"\\MetaBase.xml");
    ::DeleteFileW(m_path.c_str());
    ASSERT_EQ(0u, RunMdutil(L"add-site 1 Site C:\\ :80:").exitCode);
    const std::vector<BYTE> before = FileBytes();

    // Leaves a few kilobytes free; the next store needs more.
    std::wstring filler = std::wstring(folder) + L"\\filler";
    ULARGE_INTEGER available = {};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr));
    WriteTextFile(filler, std::string(static_cast<size_t>(available.QuadPart) - 8192, 'f'));

    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", W, site));
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"", MD_SERVER_COMMENT, STRING_METADATA, StringBytes(std::wstring(32768, L'c'))));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), admin->CloseKey(site));
    RunResult other = RunMdutil(L"add-site 2 " + std::wstring(12000, L'c') + L" C:\\ :81:");
    EXPECT_EQ(1u, other.exitCode);
    EXPECT_NE(std::string::npos, other.output.find("0x80070070")) << other.output;
    EXPECT_EQ(before, FileBytes()) << "the store is intact, byte for byte";
    EXPECT_FALSE(TmpLeft());

    // With room again the same write goes through: it was the disk.
    ASSERT_TRUE(::DeleteFileW(filler.c_str()));
    EXPECT_EQ(0u, RunMdutil(L"add-key /LM/W3SVC/1/ROOT/More").exitCode);
    ::DeleteFileW(m_path.c_str());
}

}   // namespace

}   // namespace zem::ui
