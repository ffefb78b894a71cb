// MetaBase.xml: IIS's layout read, everything written read back, changes shared between processes, and
// no re-read of a file that has not changed.
#include "MetabaseTest.h"

namespace mdtest {

namespace {

class Store : public MetabaseTest
{
protected:
    // Copies this test's file to a new path and points the next connection at it: a store this
    // process has never read, so the copy is parsed afresh.
    void ReopenCopy()
    {
        std::wstring copy = m_folder + L"\\copy" + std::to_wstring(++m_copies) + L".xml";
        ASSERT_TRUE(::CopyFileW(m_path.c_str(), copy.c_str(), FALSE));
        UseStore(copy);
    }
    struct Expected
    {
        const wchar_t* path; DWORD id; DWORD attributes; std::vector<BYTE> data; DWORD dataType; DWORD userType;
        DWORD storedAttributes;
    };
    void ExpectValues(IMSAdminBaseW* admin, const std::vector<Expected>& rows, const char* when)
    {
        for (size_t i = 0; i < rows.size(); ++i) {
            const Expected& row = rows[i];
            Value v = Get(admin, 0, row.path, row.id, row.attributes);
            ASSERT_EQ(S_OK, v.hr) << when << ", row " << i << ": " << Hr(v.hr);
            EXPECT_EQ(row.data, v.data) << when << ", row " << i;
            EXPECT_EQ(row.dataType, v.record.dwMDDataType) << when << ", row " << i;
            EXPECT_EQ(row.userType, v.record.dwMDUserType) << when << ", row " << i;
            EXPECT_EQ(row.storedAttributes, v.record.dwMDAttributes) << when << ", row " << i;
        }
    }

    int m_copies = 0;
};

// The layout IIS 6 writes: attributes on their own lines, a multi-string over two lines with tabs,
// Custom elements with and without schema names, IIS_Global first.
const char kIisFile[] =
    "<?xml version =\"1.0\"?>\r\n"
    "<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\r\n"
    "<MBProperty>\r\n"
    "<IIS_Global\tLocation =\".\"\r\n\t\tSessionKey=\"496344627000000024d680\"\r\n\t>\r\n</IIS_Global>\r\n"
    "<IIS_ROOT\tLocation =\"/\"\r\n\t>\r\n</IIS_ROOT>\r\n"
    "<IIsComputer\tLocation =\"/LM\"\r\n\t>\r\n</IIsComputer>\r\n"
    "<IIsWebService\tLocation =\"/LM/W3SVC\"\r\n\t\tAccessFlags=\"AccessRead | AccessScript\"\r\n"
    "\t\tDefaultDoc=\"Default.htm,Default.asp,index.htm\"\r\n\t\tServerAutoStart=\"TRUE\"\r\n\t>\r\n</IIsWebService>\r\n"
    "<IIsWebServer\tLocation =\"/LM/W3SVC/1\"\r\n\t\tServerBindings=\":80:\r\n\t\t\t:8080:www.example.com\"\r\n"
    "\t\tServerComment=\"Default Web Site &amp; more\"\r\n\t>\r\n</IIsWebServer>\r\n"
    "<IIsWebVirtualDir\tLocation =\"/LM/W3SVC/1/ROOT\"\r\n\t\tAccessFlags=\"AccessRead | AccessScript\"\r\n"
    "\t\tPath=\"c:\\inetpub\\wwwroot\"\r\n\t>\r\n</IIsWebVirtualDir>\r\n"
    "<IIsWebVirtualDir\tLocation =\"/LM/W3SVC/1/ROOT/SampleApp\"\r\n\t\tAccessFlags=\"AccessRead\"\r\n"
    "\t\tDefaultDoc=\"a.htm,b.htm\"\r\n\t\tPath=\"c:\\sample\\web\"\r\n\t>\r\n"
    "\t<Custom\r\n\t\tName=\"UnknownName_70001\"\r\n\t\tID=\"70001\"\r\n\t\tValue=\"7\"\r\n\t\tType=\"DWORD\"\r\n"
    "\t\tUserType=\"2001\"\r\n\t\tAttributes=\"INHERIT\"\r\n\t/>\r\n"
    "\t<Custom\r\n\t\tName=\"UnknownName_70002\"\r\n\t\tID=\"70002\"\r\n\t\tValue=\"first\r\n\t\t\tsecond\"\r\n"
    "\t\tType=\"MULTISZ\"\r\n\t\tUserType=\"IIS_MD_UT_FILE\"\r\n\t\tAttributes=\"NO_ATTRIBUTES\"\r\n\t/>\r\n"
    "</IIsWebVirtualDir>\r\n"
    "</MBProperty>\r\n"
    "</configuration>\r\n";

TEST_F(Store, ReadsTheLayoutIisWritesAndKeepsItThroughARewrite)
{
    WriteStoreFile(kIisFile);
    const wchar_t* app = L"/LM/W3SVC/1/ROOT/SampleApp";
    const std::vector<Expected> rows = {
        { app, MD_KEY_TYPE, 0, Str(L"IIsWebVirtualDir"), STRING_METADATA, IIS_MD_UT_SERVER, 0 },
        { app, MD_VR_PATH, 0, Str(L"c:\\sample\\web"), STRING_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT },
        { app, MD_ACCESS_PERM, 0, Dword(MD_ACCESS_READ), DWORD_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT },
        { app, MD_DEFAULT_LOAD_FILE, 0, Str(L"a.htm,b.htm"), STRING_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT },
        { app, 70001, 0, Dword(7), DWORD_METADATA, 2001, METADATA_INHERIT },
        { app, 70002, 0, Multi({ L"first", L"second" }), MULTISZ_METADATA, IIS_MD_UT_FILE, 0 },
        { app, MD_SERVER_COMMENT, METADATA_INHERIT, Str(L"Default Web Site & more"), STRING_METADATA, IIS_MD_UT_SERVER, METADATA_INHERIT },
        { L"/LM/W3SVC/1", MD_SERVER_BINDINGS, 0, Multi({ L":80:", L":8080:www.example.com" }), MULTISZ_METADATA, IIS_MD_UT_SERVER, 0 },
        { L"/LM/W3SVC", MD_ACCESS_PERM, 0, Dword(MD_ACCESS_READ | MD_ACCESS_SCRIPT), DWORD_METADATA, IIS_MD_UT_FILE, METADATA_INHERIT },
        { L"/LM", MD_KEY_TYPE, 0, Str(L"IIsComputer"), STRING_METADATA, IIS_MD_UT_SERVER, 0 },
    };
    {
        ComPtr<IMSAdminBaseW> admin = Connect();
        ExpectValues(admin.Get(), rows, "as IIS wrote it");
        EXPECT_EQ(kDataNotFound, Get(admin.Get(), 0, L"/", MD_KEY_TYPE).hr) << "IIS_ROOT is no key type";
        EXPECT_EQ((std::vector<std::wstring>{ L"LM" }), ChildNames(admin.Get(), L"/")) << "IIS_Global is no key";

        // Any change rewrites the whole file in this store's own layout.
        METADATA_HANDLE site;
        ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", W, site));
        ASSERT_EQ(S_OK, admin->AddKey(site, L"ROOT/Added"));
        ASSERT_EQ(S_OK, admin->CloseKey(site));
    }
    std::vector<BYTE> file = FileBytes();
    std::string text(file.begin(), file.end());
    EXPECT_NE(std::string::npos, text.find("SessionKey=\"496344627000000024d680\"")) << "IIS_Global kept";
    EXPECT_NE(std::string::npos, text.find("ServerAutoStart=\"TRUE\"")) << "an attribute the store does not know kept";
    EXPECT_NE(std::string::npos, text.find("Location=\"/LM/W3SVC/1/ROOT/Added\""));

    ReopenCopy();
    ComPtr<IMSAdminBaseW> admin = Connect();
    ExpectValues(admin.Get(), rows, "after the rewrite");
    EXPECT_EQ((std::vector<std::wstring>{ L"SampleApp", L"Added" }), ChildNames(admin.Get(), L"/LM/W3SVC/1/ROOT"));
}

TEST_F(Store, EverythingWrittenComesBack)
{
    // Values the attribute text cannot carry as they are, next to ones it can.
    const std::wstring nonBmp = L"pi\xD835\xDF0B";
    const BYTE binary[] = { 0, 1, 0xFE, 0xFF };
    struct Row { const wchar_t* path; DWORD id; DWORD dataType; std::vector<BYTE> data; DWORD attributes; DWORD userType; };
    const std::vector<Row> rows = {
        // As the program writes a virtual directory: even the key type inheritable, with the file user type.
        { L"/LM/W3SVC/1/ROOT/Zem", MD_KEY_TYPE, STRING_METADATA, Str(L"IIsWebVirtualDir"), METADATA_INHERIT, IIS_MD_UT_FILE },
        { L"/LM/W3SVC/1/ROOT/Zem", MD_VR_PATH, STRING_METADATA, Str(L"C:\\inetpub\\wwwroot\\ZemWeb\\"), METADATA_INHERIT, IIS_MD_UT_FILE },
        { L"/LM/W3SVC/1/ROOT/Zem", MD_ACCESS_PERM, DWORD_METADATA, Dword(MD_ACCESS_READ), METADATA_INHERIT, IIS_MD_UT_FILE },
        { L"/LM/W3SVC/1/ROOT/Zem", MD_DEFAULT_LOAD_FILE, STRING_METADATA, Str(L"ZemWeb.htm,default.htm"), METADATA_INHERIT, IIS_MD_UT_FILE },
        { L"/LM/W3SVC/1", MD_SERVER_COMMENT, STRING_METADATA, Str(L"<\"quoted\" & 'apostrophes'> "), METADATA_INHERIT, IIS_MD_UT_SERVER },
        { L"/LM/W3SVC/1", MD_SERVER_BINDINGS, MULTISZ_METADATA, Multi({ L":80:", L"10.0.0.1:8080:host name" }), 0, IIS_MD_UT_SERVER },
        { L"/LM/W3SVC/1", 70010, STRING_METADATA, Str(L"tab\there\r\nnew line"), 0, 2001 },
        { L"/LM/W3SVC/1", 70011, MULTISZ_METADATA, Multi({ L"two  spaces", L" edge ", L"x" }), 0, 2001 },
        { L"/LM/W3SVC/1", 70012, MULTISZ_METADATA, Multi({ L"" }), METADATA_SECURE, 2001 },
        { L"/LM/W3SVC/1", 70013, BINARY_METADATA, std::vector<BYTE>(binary, binary + 4), 0, 2001 },
        { L"/LM/W3SVC/1", 70014, EXPANDSZ_METADATA, Str(L"%SystemRoot%\\web"), METADATA_INHERIT, IIS_MD_UT_WAM },
        { L"/LM/W3SVC/1", 70015, STRING_METADATA, Str(nonBmp), 0, ASP_MD_UT_APP },
        { L"/LM/W3SVC/1", MD_ACCESS_PERM, DWORD_METADATA, Dword(0x80000001), METADATA_INHERIT, IIS_MD_UT_FILE },
        { L"/LM/W3SVC/2", MD_KEY_TYPE, STRING_METADATA, Str(L"Not an element name"), 0, IIS_MD_UT_SERVER },
    };
    {
        ComPtr<IMSAdminBaseW> admin = Connect();
        METADATA_HANDLE lm;
        ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", W, lm));
        ASSERT_EQ(S_OK, admin->AddKey(lm, L"W3SVC/1/ROOT/Zem"));
        ASSERT_EQ(S_OK, admin->AddKey(lm, L"W3SVC/2"));
        ASSERT_EQ(S_OK, admin->AddKey(lm, L"W3SVC/3/Empty"));
        for (size_t i = 0; i < rows.size(); ++i)
            ASSERT_EQ(S_OK, Set(admin.Get(), lm, rows[i].path + wcslen(L"/LM"), rows[i].id, rows[i].dataType, rows[i].data,
                                rows[i].attributes, rows[i].userType)) << "row " << i;
        ASSERT_EQ(S_OK, Set(admin.Get(), lm, L"W3SVC/1", 70020, STRING_METADATA, Str(L"gone"), METADATA_VOLATILE));
        ASSERT_EQ(S_OK, admin->CloseKey(lm));
    }
    ReopenCopy();
    ComPtr<IMSAdminBaseW> admin = Connect();
    for (size_t i = 0; i < rows.size(); ++i) {
        Value v = Get(admin.Get(), 0, rows[i].path, rows[i].id);
        ASSERT_EQ(S_OK, v.hr) << "row " << i << ": " << Hr(v.hr);
        EXPECT_EQ(rows[i].data, v.data) << "row " << i;
        EXPECT_EQ(rows[i].dataType, v.record.dwMDDataType) << "row " << i;
        EXPECT_EQ(rows[i].userType, v.record.dwMDUserType) << "row " << i;
        EXPECT_EQ(rows[i].attributes, v.record.dwMDAttributes) << "row " << i;
    }
    EXPECT_EQ(kDataNotFound, Get(admin.Get(), 0, L"/LM/W3SVC/1", 70020).hr) << "volatile data is not written";
    EXPECT_EQ((std::vector<std::wstring>{ L"Empty" }), ChildNames(admin.Get(), L"/LM/W3SVC/3")) << "keys without data too";
}

TEST_F(Store, MissingFileIsAnEmptyMetabaseAndReadsCreateNoFile)
{
    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE handle;
    EXPECT_EQ(kPathNotFound, Open(admin.Get(), L"/LM/W3SVC/1", R, handle));
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM", R | W, handle));
    EXPECT_EQ((std::vector<std::wstring>{ L"LM" }), ChildNames(admin.Get(), L"/"));
    EXPECT_EQ(S_OK, admin->CloseKey(handle));
    EXPECT_FALSE(StoreFileExists()) << "nothing changed, nothing written";

    // An empty file (a "touch") is no different.
    WriteStoreFile("");
    ComPtr<IMSAdminBaseW> again = Connect();
    EXPECT_EQ((std::vector<std::wstring>{ L"LM" }), ChildNames(again.Get(), L"/"));
}

TEST_F(Store, ChangesReachTheNextConnectionOfAnotherProcess)
{
    {
        ComPtr<IMSAdminBaseW> admin = Connect();
        SeedSites(admin.Get());
    }
    ProcessResult shown = RunMdutil(L"show /LM/W3SVC/1");
    EXPECT_EQ(0u, shown.exitCode) << shown.output;
    EXPECT_NE(std::string::npos, shown.output.find("\"Default Web Site\"")) << shown.output;

    ComPtr<IMSAdminBaseW> before = Connect();
    ProcessResult added = RunMdutil(L"add-site 2 \"Second\" C:\\second :81:");
    ASSERT_EQ(0u, added.exitCode) << added.output;
    ComPtr<IMSAdminBaseW> after = Connect();
    Value v = Get(after.Get(), 0, L"/LM/W3SVC/2/ROOT", MD_SERVER_COMMENT, METADATA_INHERIT);
    ASSERT_EQ(S_OK, v.hr) << Hr(v.hr);
    EXPECT_EQ(Str(L"Second"), v.data);
    // Reads through the master root handle take no lock and promise nothing; an open key does look
    // again, even on a connection made before the change.
    METADATA_HANDLE site;
    ASSERT_EQ(S_OK, Open(before.Get(), L"/LM/W3SVC/2", R, site));
    EXPECT_EQ(S_OK, before->CloseKey(site));
}

TEST_F(Store, UnchangedFileIsNotReadAgain)
{
    {
        ComPtr<IMSAdminBaseW> admin = Connect();
        SeedSites(admin.Get());
    }
    // While another program holds the file without sharing, any attempt to read it would fail.
    HANDLE exclusive = ::CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    for (int connection = 0; connection < 3; ++connection) {
        ComPtr<IMSAdminBaseW> admin = Connect();
        METADATA_HANDLE site;
        ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1", R, site)) << "connection " << connection;
        EXPECT_EQ(S_OK, Get(admin.Get(), site, L"ROOT", MD_VR_PATH, METADATA_INHERIT).hr) << "connection " << connection;
        EXPECT_EQ(S_OK, admin->CloseKey(site));
    }
    ::CloseHandle(exclusive);

    // The same hold after another process changed the file does fail: the test can tell.
    ASSERT_EQ(0u, RunMdutil(L"add-key /LM/W3SVC/1/ROOT/Other").exitCode);
    exclusive = ::CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    ComPtr<IMSAdminBaseW> admin = Connect();
    METADATA_HANDLE site;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), Open(admin.Get(), L"/LM/W3SVC/1", R, site));
    ::CloseHandle(exclusive);
    ASSERT_EQ(S_OK, Open(admin.Get(), L"/LM/W3SVC/1/ROOT/Other", R, site));
    EXPECT_EQ(S_OK, admin->CloseKey(site));
}

} // namespace

} // namespace mdtest
