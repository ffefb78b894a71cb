// What no store file, killed writer or full disk may do: crash, hang, or cost a store its content.
#include "MetabaseTest.h"

#include <random>

namespace mdtest {

namespace {

class Faults : public MetabaseTest
{
};

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

std::string Utf16(const std::string& ascii, wchar_t extra)
{
    std::string bytes = "\xFF\xFE";
    for (char c : Replace(ascii, "Site 1", "Site \x01"))
        bytes += c == '\x01' ? std::string(reinterpret_cast<const char*>(&extra), 2) : std::string(1, c) + '\0';
    return bytes;
}

struct Hostile
{
    std::string name;
    std::string bytes;
    int readable;   // 1 or 0 as expected; -1 for a generated case, which may be either
};

std::vector<Hostile> NamedStores()
{
    const std::string valid = ValidStore();
    auto nested = [&valid](int depth) {
        std::string open, close;
        for (int i = 0; i < depth; ++i) {
            open += "<a>";
            close += "</a>";
        }
        return Replace(valid, "</IIsComputer>", open + close + "</IIsComputer>");
    };
    std::string deepPath = "/LM/W3SVC/1/ROOT";
    for (int i = 0; i < 5000; ++i)
        deepPath += "/d";
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    return {
        { "only the declaration", "<?xml version=\"1.0\"?>", 0 },
        { "cut after a line break", valid.substr(0, valid.find("</IIsWebServer>\n") + 16), 0 },
        { "elements 6,000 deep", nested(6000), 0 },
        { "elements 50,000 deep", nested(50000), 0 },
        { "key path 5,000 deep", Replace(valid, "</MBProperty>", "<IIsConfigObject Location=\"" + deepPath + "\"/></MBProperty>"), 1 },
        { "invalid UTF-8 in a value", Replace(valid, "Site 1", "Site \xC3\x28"), 0 },
        { "UTF-16", Utf16(valid, L'\x263A'), 1 },
        { "UTF-16 with a lone surrogate", Utf16(valid, 0xD800), 0 },
        { "NUL inside", Replace(valid, "Site 1", std::string("Site\0", 5)), 0 },
        { "duplicate keys", Replace(valid, "</MBProperty>", "<IIsWebServer Location=\"/lm/w3svc/1\" ServerComment=\"Again\"/></MBProperty>"), 1 },
        { "name of 256 characters", Replace(valid, "/LM/W3SVC/2\"", "/LM/W3SVC/" + std::string(256, 'n') + "\""), 0 },
        { "value of 1 MB", Replace(valid, "Site 2", std::string(1 << 20, 'v')), 1 },
        { "random bytes", noise, 0 },
    };
}

// Spoils the valid store the way files get spoilt: cut anywhere, bytes changed, markup and bad text
// put in, pieces repeated.
Hostile Generated(std::mt19937& random, int index)
{
    static const char* const kInserts[] = { "<", ">", "\"", "&", "</MBProperty>", "<a>", "\xC3", "\xFF\xFE", "\n",
                                            "<?xml version=\"1.0\"?>", "]]>", "<!--", "&#0;" };
    std::string bytes = ValidStore();
    int changes = 1 + random() % 3;
    for (int c = 0; c < changes; ++c) {
        size_t at = random() % (bytes.size() + 1);
        switch (random() % 4) {
        case 0: bytes.resize(at); break;
        case 1: if (at < bytes.size()) bytes[at] = static_cast<char>(random()); break;
        case 2: bytes.insert(at, kInserts[random() % ARRAYSIZE(kInserts)]); break;
        default: bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 200)); break;
        }
    }
    return { "generated " + std::to_string(index), bytes, -1 };
}

// Each store goes to mdutil, in a process of its own with a time-out, and to a connection of this
// process; every call answers with an HRESULT, and a store that cannot be read is never written.
TEST_F(Faults, NoStoreFileCrashesHangsOrIsOverwritten)
{
    const int seed = EnvCount(L"ZEM_HOSTILE_SEED", 1);
    std::mt19937 random(seed);
    std::vector<Hostile> cases = NamedStores();
    for (int i = 0, count = EnvCount(L"ZEM_HOSTILE_CASES", 40); i < count; ++i)
        cases.push_back(Generated(random, i));
    int refused = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Hostile& row = cases[i];
        std::string where = row.name + " (seed " + std::to_string(seed) + ")";
        UseStore(m_folder + L"\\hostile" + std::to_wstring(i) + L".xml");
        WriteStoreFile(row.bytes);
        ProcessResult written = RunMdutil(L"-t 2000 add-key /LM/W3SVC/1/ROOT/Probe", 30000);
        bool added = written.exitCode == 0 && written.output.find("added") != std::string::npos;
        bool failed = written.exitCode == 1 && written.output.find("failed: 0x") != std::string::npos;
        ASSERT_TRUE(added || failed) << where << ": exit " << written.exitCode << "\n" << written.output.substr(0, 300);
        if (row.readable >= 0) {
            EXPECT_EQ(row.readable == 1, added) << where << "\n" << written.output.substr(0, 300);
        }
        if (failed) {
            ++refused;
            EXPECT_EQ(std::vector<BYTE>(row.bytes.begin(), row.bytes.end()), FileBytes()) << where;
        }
        ComPtr<IMSAdminBaseW> admin = Connect();
        METADATA_HANDLE probe;
        HRESULT hr = Open(admin.Get(), L"/LM/W3SVC/1/ROOT/Probe", R, probe);
        EXPECT_EQ(added, SUCCEEDED(hr)) << where << ": " << Hr(hr);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(S_OK, admin->CloseKey(probe));
        } else if (failed) {
            EXPECT_TRUE(FAILED(admin->SaveData())) << where;
        }
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((m_path + L".tmp").c_str())) << where;
    }
    // Mended, the last file is read again, even by a connection made before.
    ComPtr<IMSAdminBaseW> admin = Connect();
    WriteStoreFile(ValidStore());
    wchar_t name[METADATA_MAX_NAME_LEN];
    EXPECT_EQ(S_OK, admin->EnumKeys(0, L"/LM/W3SVC", name, 0));
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
        MdutilProcess writer;
        ASSERT_TRUE(writer.Start(L"-t 20000 add-site " + site + L" Site C:\\ :80:"));
        ::Sleep(random() % 300);
        if (writer.Stop())
            ++killed;
        else if (writer.Wait() == 0)
            finished.push_back(site);

        ComPtr<IMSAdminBaseW> admin = Connect();
        std::vector<std::wstring> sites = ChildNames(admin.Get(), L"/LM/W3SVC");
        for (const std::wstring& done : finished)
            ASSERT_NE(sites.end(), std::find(sites.begin(), sites.end(), done))
                << "run " << i << ": site " << std::string(done.begin(), done.end()) << " lost";
    }
    ProcessResult last = RunMdutil(L"add-site 99 Site C:\\ :80:");
    EXPECT_EQ(0u, last.exitCode) << last.output;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((m_path + L".tmp").c_str()));
    std::printf("%d writers: %d killed while writing, %zu finished, no finished write lost\n", runs, killed,
                finished.size() - 1);
}

class DiskFull : public MetabaseTest
{
};

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
    std::vector<BYTE> fill(static_cast<size_t>(available.QuadPart) - 8192, 'f');
    HANDLE file = ::CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, fill.data(), static_cast<DWORD>(fill.size()), &written, nullptr);
    ::CloseHandle(file);

    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", W, site));
    ASSERT_EQ(S_OK, Set(admin.Get(), site, L"", MD_SERVER_COMMENT, STRING_METADATA, Str(std::wstring(32768, L'c'))));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), admin->CloseKey(site));
    ProcessResult other = RunMdutil(L"add-site 2 " + std::wstring(12000, L'c') + L" C:\\ :81:");
    EXPECT_EQ(1u, other.exitCode);
    EXPECT_NE(std::string::npos, other.output.find("0x80070070")) << other.output;
    EXPECT_EQ(before, FileBytes()) << "the store is intact, byte for byte";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((m_path + L".tmp").c_str()));

    // With room again the same write goes through: it was the disk.
    ASSERT_TRUE(::DeleteFileW(filler.c_str()));
    EXPECT_EQ(0u, RunMdutil(L"add-key /LM/W3SVC/1/ROOT/More").exitCode);
    ::DeleteFileW(m_path.c_str());
}

} // namespace

} // namespace mdtest
