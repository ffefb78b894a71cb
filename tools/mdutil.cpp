// mdutil: the metabase from the command line, through the admin base object like any other client
// (never through the file), for people and for tests that need "another IIS management program".
#include "MetabaseConnection.h"
#include "Schema.h"
#include "WebExport.h"

#include <string>
#include <vector>
#include <wchar.h>

using Microsoft::WRL::ComPtr;
using namespace iisadmin;

namespace {

const wchar_t kUsage[] =
    L"Usage: mdutil [-t <ms>] <command> [<argument>...]\n"
    L"\n"
    L"Commands:\n"
    L"  add-site <number> <description> <root-folder> <binding> [<binding>...]\n"
    L"                    Adds web site /LM/W3SVC/<number> and its ROOT virtual directory.\n"
    L"                    A binding is IP:Port:Host, for example \":80:\" or \"10.0.0.1:8080:www\".\n"
    L"  add-key <path>    Adds a key, with the keys missing on the way to it.\n"
    L"  delete <path>     Deletes a key and everything below it.\n"
    L"  show <path>       Prints a key's values.\n"
    L"  tree [<path>]     Prints the keys below a key (default: the whole metabase).\n"
    L"  export-web        Prints the MIME map, the web sites, bindings and virtual directories,\n"
    L"                    tab-separated, for configuring another web server (scripts/nginx-conf.py\n"
    L"                    reads it).\n"
    L"  hold <path> <ms> [read]\n"
    L"                    Keeps a key open for writing (or reading) for <ms> milliseconds, as another\n"
    L"                    management program would; prints \"holding <path>\" once it has the key.\n"
    L"\n"
    L"Options:\n"
    L"  -t <ms>           How long to wait for a key another program holds (default 5000).\n"
    L"\n"
    L"Exit status: 0 on success; 1 when the metabase refuses, with its HRESULT; 2 for a usage error.\n";

const int kExitRefused = 1;
const int kExitUsage = 2;

// To the console as UTF-16; to a pipe or file as UTF-8, which a test or a script can read back.
void Write(DWORD stream, const std::wstring& text)
{
    HANDLE out = ::GetStdHandle(stream);
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text); }
void Err(const std::wstring& text) { Write(STD_ERROR_HANDLE, text); }

std::wstring Hex(DWORD value)
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", value);
    return text;
}

std::wstring Describe(HRESULT hr)
{
    struct Named
    {
        HRESULT hr;
        const wchar_t* text;
    };
    static const Named kMetabaseErrors[] = {
        {HR_MD_DATA_NOT_FOUND, L"The data is not in the metabase."},
        {HR_MD_CANNOT_REMOVE_SECURE_ATTRIBUTE, L"The secure attribute cannot be removed."},
    };
    for (const Named& named : kMetabaseErrors)
        if (named.hr == hr)
            return named.text;
    wchar_t* text = nullptr;
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    LocalMemory owner(text);
    std::wstring message;
    if (length) {
        message.assign(text, length);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
            message.pop_back();
    }
    return message;
}

// Reports a refusal and gives the exit status for it.
int Refused(const std::wstring& what, HRESULT hr)
{
    std::wstring description = Describe(hr);
    Err(L"mdutil: " + what + L" failed: " + Hex(static_cast<DWORD>(hr)) +
        (description.empty() ? L"" : L" " + description) + L"\n");
    return kExitRefused;
}

// A key opened for the length of one command, from the metabase root.
HRESULT OpenKey(CMetabaseKey& key, IMSAdminBaseW* admin, const std::wstring& path, DWORD access, DWORD timeoutMs)
{
    return key.Open(admin, METADATA_MASTER_ROOT_HANDLE, path.c_str(), access, timeoutMs);
}

// Sets a property with the identifier, data type, user type and attributes the schema gives it.
HRESULT SetProperty(IMSAdminBaseW* admin, METADATA_HANDLE key, const std::wstring& path, DWORD id,
                    const std::vector<BYTE>& data)
{
    const PropertySchema* schema = FindProperty(id);
    METADATA_RECORD record = MetadataRecord(id, schema->attributes, schema->userType, schema->dataType,
                                            const_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    return admin->SetData(key, path.c_str(), &record);
}

bool ParseUnsigned(const wchar_t* text, DWORD& value)
{
    if (!*text || *text == L'-' || *text == L'+')
        return false;
    wchar_t* end = nullptr;
    unsigned long long v = wcstoull(text, &end, 10);
    if (*end || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(v);
    return true;
}

// Opens path for writing, or the nearest of its ancestors that exists, with the rest of the path
// relative to it.
HRESULT OpenNearest(CMetabaseKey& key, IMSAdminBaseW* admin, const std::wstring& path, DWORD timeoutMs,
                    std::wstring& rest)
{
    std::wstring base = path;
    rest.clear();
    for (;;) {
        size_t slash = base.find_last_of(L'/');
        if (slash == std::wstring::npos || slash == 0)
            return HR_PATH_NOT_FOUND;
        rest = base.substr(slash + 1) + (rest.empty() ? L"" : L"/" + rest);
        base.resize(slash);
        HRESULT hr = OpenKey(key, admin, base, METADATA_PERMISSION_WRITE, timeoutMs);
        if (hr != HR_PATH_NOT_FOUND)
            return hr;
    }
}

int AddSite(IMSAdminBaseW* admin, DWORD timeoutMs, const std::vector<std::wstring>& args)
{
    DWORD number = 0;
    if (args.size() < 4 || !ParseUnsigned(args[0].c_str(), number) || number == 0) {
        Err(kUsage);
        return kExitUsage;
    }
    const std::wstring& description = args[1];
    const std::wstring& folder = args[2];
    std::vector<std::wstring> bindings(args.begin() + 3, args.end());
    const std::wstring service = L"/LM/W3SVC";
    const std::wstring site = std::to_wstring(number);
    const std::wstring root = site + L"/ROOT";

    CMetabaseKey key;
    HRESULT hr = OpenKey(key, admin, service, METADATA_PERMISSION_WRITE, timeoutMs);
    if (hr == HR_PATH_NOT_FOUND) {
        // The first site of a fresh metabase brings the web service key with it.
        CMetabaseKey computer;
        if (FAILED(hr = OpenKey(computer, admin, L"/LM", METADATA_PERMISSION_WRITE, timeoutMs)))
            return Refused(L"OpenKey /LM", hr);
        hr = admin->AddKey(computer.Handle(), L"W3SVC");
        if (SUCCEEDED(hr))
            hr = SetProperty(admin, computer.Handle(), L"W3SVC", MD_KEY_TYPE, StringBytes(L"IIsWebService"));
        if (FAILED(hr) && hr != HR_ALREADY_EXISTS)
            return Refused(L"adding " + service, hr);
        if (FAILED(hr = computer.Close()))
            return Refused(L"CloseKey /LM", hr);
        hr = OpenKey(key, admin, service, METADATA_PERMISSION_WRITE, timeoutMs);
    }
    if (FAILED(hr))
        return Refused(L"OpenKey " + service, hr);

    // One write handle for the whole site: other clients see it complete or not at all.
    METADATA_HANDLE h = key.Handle();
    if (FAILED(hr = admin->AddKey(h, site.c_str())))
        return Refused(L"AddKey " + service + L"/" + site, hr);
    struct Step
    {
        const std::wstring* path;
        DWORD id;
        std::vector<BYTE> data;
    };
    const Step steps[] = {
        {&site, MD_KEY_TYPE, StringBytes(L"IIsWebServer")},
        {&site, MD_SERVER_COMMENT, StringBytes(description)},
        {&site, MD_SERVER_BINDINGS, MultiStringBytes(bindings)},
        {&root, MD_KEY_TYPE, StringBytes(L"IIsWebVirtualDir")},
        {&root, MD_VR_PATH, StringBytes(folder)},
        {&root, MD_ACCESS_PERM, DwordBytes(MD_ACCESS_READ | MD_ACCESS_SCRIPT)},
    };
    if (FAILED(hr = admin->AddKey(h, root.c_str())))
        return Refused(L"AddKey " + service + L"/" + root, hr);
    for (const Step& step : steps)
        if (FAILED(hr = SetProperty(admin, h, *step.path, step.id, step.data)))
            return Refused(L"SetData " + service + L"/" + *step.path + L" " + FindProperty(step.id)->name, hr);
    if (FAILED(hr = key.Close()))
        return Refused(L"CloseKey " + service, hr);
    Out(L"added " + service + L"/" + site + L"\n");
    return 0;
}

int AddKeyCommand(IMSAdminBaseW* admin, DWORD timeoutMs, const std::wstring& path)
{
    CMetabaseKey key;
    std::wstring rest;
    HRESULT hr = OpenNearest(key, admin, path, timeoutMs, rest);
    if (FAILED(hr))
        return Refused(L"OpenKey (parent of " + path + L")", hr);
    if (FAILED(hr = admin->AddKey(key.Handle(), rest.c_str())))
        return Refused(L"AddKey " + path, hr);
    if (FAILED(hr = key.Close()))
        return Refused(L"CloseKey", hr);
    Out(L"added " + path + L"\n");
    return 0;
}

int DeleteCommand(IMSAdminBaseW* admin, DWORD timeoutMs, const std::wstring& path)
{
    size_t slash = path.find_last_of(L'/');
    if (slash == std::wstring::npos || slash + 1 == path.size()) {
        Err(L"mdutil: delete needs a key below the root, such as /LM/W3SVC/2\n");
        return kExitUsage;
    }
    CMetabaseKey parent;
    std::wstring parentPath = slash ? path.substr(0, slash) : L"/";
    HRESULT hr = OpenKey(parent, admin, parentPath, METADATA_PERMISSION_WRITE, timeoutMs);
    if (FAILED(hr))
        return Refused(L"OpenKey " + parentPath, hr);
    if (FAILED(hr = admin->DeleteKey(parent.Handle(), path.substr(slash + 1).c_str())))
        return Refused(L"DeleteKey " + path, hr);
    if (FAILED(hr = parent.Close()))
        return Refused(L"CloseKey " + parentPath, hr);
    Out(L"deleted " + path + L"\n");
    return 0;
}

std::wstring DisplayValue(DWORD dataType, const std::vector<BYTE>& data, const PropertySchema* schema)
{
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
    size_t units = data.size() / sizeof(wchar_t);
    switch (dataType) {
    case DWORD_METADATA: {
        std::wstring value;
        ValueText(dataType, data, schema, value);
        DWORD number = 0;
        memcpy(&number, data.data(), data.size() < sizeof number ? data.size() : sizeof number);
        return value == std::to_wstring(number) ? value + L" (" + Hex(number) + L")" : value;
    }
    case STRING_METADATA:
    case EXPANDSZ_METADATA:
        return L"\"" + std::wstring(text, units ? wcsnlen(text, units) : 0) + L"\"";
    case MULTISZ_METADATA: {
        std::wstring shown;
        for (size_t i = 0; i < units && text[i];) {
            size_t length = wcsnlen(text + i, units - i);
            shown += (shown.empty() ? L"\"" : L", \"") + std::wstring(text + i, length) + L"\"";
            i += length + 1;
        }
        return shown.empty() ? L"(empty list)" : shown;
    }
    default:
        return HexText(data);
    }
}

// Opens path for reading and prints its name first, as show and tree do; 0, or the status to exit with.
int OpenAndName(CMetabaseKey& key, IMSAdminBaseW* admin, DWORD timeoutMs, const std::wstring& path)
{
    HRESULT hr = OpenKey(key, admin, path, METADATA_PERMISSION_READ, timeoutMs);
    if (FAILED(hr))
        return Refused(L"OpenKey " + path, hr);
    Out(path + L"\n");
    return 0;
}

int ShowCommand(IMSAdminBaseW* admin, DWORD timeoutMs, const std::wstring& path)
{
    CMetabaseKey key;
    if (int status = OpenAndName(key, admin, timeoutMs, path))
        return status;
    HRESULT hr = S_OK;
    std::vector<BYTE> buffer(256);
    for (DWORD index = 0;;) {
        METADATA_RECORD record = {};
        record.dwMDDataLen = static_cast<DWORD>(buffer.size());
        record.pbMDData = buffer.data();
        DWORD required = 0;
        hr = admin->EnumData(key.Handle(), nullptr, &record, index, &required);
        if (hr == HR_INSUFFICIENT_BUFFER) {
            buffer.resize(required);
            continue;
        }
        if (hr == HR_NO_MORE_ITEMS)
            break;
        if (FAILED(hr))
            return Refused(L"EnumData " + path, hr);
        const PropertySchema* schema = FindProperty(record.dwMDIdentifier);
        const wchar_t* typeName = DataTypeName(record.dwMDDataType);
        std::vector<BYTE> value(buffer.begin(), buffer.begin() + record.dwMDDataLen);
        Out(L"  " + std::to_wstring(record.dwMDIdentifier) + L" " + (schema ? schema->name : L"-") + L" " +
            (typeName ? typeName : std::to_wstring(record.dwMDDataType)) + L" " + UserTypeText(record.dwMDUserType) +
            L" " + AttributesText(record.dwMDAttributes) + L" = " +
            DisplayValue(record.dwMDDataType, value, schema && schema->dataType == record.dwMDDataType ? schema : nullptr) +
            L"\n");
        ++index;
    }
    if (FAILED(hr = key.Close()))
        return Refused(L"CloseKey " + path, hr);
    return 0;
}

int TreeCommand(IMSAdminBaseW* admin, DWORD timeoutMs, const std::wstring& path)
{
    CMetabaseKey key;
    if (int status = OpenAndName(key, admin, timeoutMs, path))
        return status;
    std::wstring failed;
    HRESULT hr = WalkKeys(
        admin, key.Handle(), L"", [&](const std::wstring& relative) {
            if (!relative.empty())
                Out((path == L"/" ? L"/" : path + L"/") + relative + L"\n");
            return S_OK;
        },
        failed);
    if (FAILED(hr))
        return Refused(L"EnumKeys " + path, hr);
    if (FAILED(hr = key.Close()))
        return Refused(L"CloseKey " + path, hr);
    return 0;
}

int HoldCommand(IMSAdminBaseW* admin, DWORD timeoutMs, const std::vector<std::wstring>& args)
{
    DWORD holdMs = 0;
    if (args.size() < 2 || args.size() > 3 || !ParseUnsigned(args[1].c_str(), holdMs) ||
        (args.size() == 3 && args[2] != L"read")) {
        Err(kUsage);
        return kExitUsage;
    }
    DWORD access = args.size() == 3 ? METADATA_PERMISSION_READ : METADATA_PERMISSION_WRITE;
    CMetabaseKey key;
    HRESULT hr = OpenKey(key, admin, args[0], access, timeoutMs);
    if (FAILED(hr))
        return Refused(L"OpenKey " + args[0], hr);
    Out(L"holding " + args[0] + L"\n");
    ::Sleep(holdMs);
    if (FAILED(hr = key.Close()))
        return Refused(L"CloseKey " + args[0], hr);
    Out(L"released " + args[0] + L"\n");
    return 0;
}

int Run(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    DWORD timeoutMs = 5000;
    if (args.size() >= 2 && args[0] == L"-t") {
        if (!ParseUnsigned(args[1].c_str(), timeoutMs)) {
            Err(kUsage);
            return kExitUsage;
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args[0] == L"-h" || args[0] == L"--help" || args[0] == L"/?") {
        (args.empty() ? Err : Out)(kUsage);
        return args.empty() ? kExitUsage : 0;
    }
    std::wstring command = args[0];
    args.erase(args.begin());
    bool known = command == L"add-site" || command == L"hold" || command == L"tree" ||
                 (command == L"export-web" && args.empty()) ||
                 ((command == L"add-key" || command == L"delete" || command == L"show") && args.size() == 1);
    if (!known || (command == L"tree" && args.size() > 1)) {
        Err(kUsage);
        return kExitUsage;
    }

    ComPtr<IMSAdminBaseW> admin;
    HRESULT hr = CreateAdminBase(admin);
    if (FAILED(hr))
        return Refused(L"creating the IIS Admin Base Object", hr);
    if (command == L"add-site")
        return AddSite(admin.Get(), timeoutMs, args);
    if (command == L"add-key")
        return AddKeyCommand(admin.Get(), timeoutMs, args[0]);
    if (command == L"delete")
        return DeleteCommand(admin.Get(), timeoutMs, args[0]);
    if (command == L"show")
        return ShowCommand(admin.Get(), timeoutMs, args[0]);
    if (command == L"export-web") {
        std::wstring text, step;
        if (FAILED(hr = ExportWeb(admin.Get(), timeoutMs, text, step)))
            return Refused(step, hr);
        Out(text);
        return 0;
    }
    if (command == L"tree")
        return TreeCommand(admin.Get(), timeoutMs, args.empty() ? L"/" : args[0]);
    return HoldCommand(admin.Get(), timeoutMs, args);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // A free-threaded apartment: the object is created in-process whatever its threading model says.
    ComApartment apartment(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    return Run(argc, argv);
}
