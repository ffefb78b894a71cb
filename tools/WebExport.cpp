#include "WebExport.h"

#include "MetabaseConnection.h"

#include <vector>

namespace iisadmin {
namespace {

const wchar_t kService[] = L"/LM/W3SVC";
const wchar_t kMimeMap[] = L"/LM/MimeMap";

// Reads one value; `inherit` lets an ancestor's inheritable value stand in for a missing own one.
HRESULT ReadValue(IMSAdminBaseW* admin, METADATA_HANDLE key, const std::wstring& path, DWORD id, bool inherit,
                  std::vector<BYTE>& data)
{
    data.resize(256);
    HRESULT hr = GetMetadata(admin, key, path.c_str(),
                             MetadataRecord(id, inherit ? METADATA_INHERIT : METADATA_NO_ATTRIBUTES, ALL_METADATA,
                                            ALL_METADATA),
                             data);
    if (SUCCEEDED(hr))
        data.resize(data.size() + sizeof(wchar_t), 0); // a terminator even for a malformed string
    return hr;
}

// The value as one field: strings as they are, a list's entries one per element, numbers in decimal.
HRESULT Field(IMSAdminBaseW* admin, METADATA_HANDLE key, const std::wstring& path, DWORD id, bool inherit,
              std::vector<std::wstring>& entries)
{
    entries.clear();
    std::vector<BYTE> data;
    HRESULT hr = ReadValue(admin, key, path, id, inherit, data);
    if (hr == HR_MD_DATA_NOT_FOUND)
        return S_FALSE;
    if (FAILED(hr))
        return hr;
    if (id == MD_ACCESS_PERM || id == MD_DIRECTORY_BROWSING) {
        DWORD value = 0;
        memcpy(&value, data.data(), data.size() < sizeof value ? data.size() : sizeof value);
        entries.push_back(std::to_wstring(value));
        return S_OK;
    }
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
    size_t units = data.size() / sizeof(wchar_t);
    for (size_t i = 0; i < units && (text[i] || entries.empty());) {
        std::wstring entry(text + i, wcsnlen(text + i, units - i));
        i += entry.size() + 1;
        for (wchar_t& c : entry)
            if (c == L'\t' || c == L'\r' || c == L'\n')
                c = L' ';
        entries.push_back(entry);
        if (id != MD_SERVER_BINDINGS && id != MD_MIME_MAP)
            break;
    }
    return S_OK;
}

std::wstring First(const std::vector<std::wstring>& entries) { return entries.empty() ? L"-" : entries.front(); }

// The dir line of a key with a Path of its own; url is its address below the site.
HRESULT ExportDir(IMSAdminBaseW* admin, METADATA_HANDLE service, const std::wstring& site, const std::wstring& key,
                  const std::wstring& url, std::wstring& out, std::wstring& step)
{
    std::vector<std::wstring> path, access, docs, browse;
    HRESULT hr = Field(admin, service, key, MD_VR_PATH, false, path);
    if (hr == S_OK) {
        if (FAILED(hr = Field(admin, service, key, MD_ACCESS_PERM, true, access)) ||
            FAILED(hr = Field(admin, service, key, MD_DEFAULT_LOAD_FILE, true, docs)) ||
            FAILED(hr = Field(admin, service, key, MD_DIRECTORY_BROWSING, true, browse))) {
            step = L"GetData " + std::wstring(kService) + L"/" + key;
            return hr;
        }
        out += L"dir\t" + site + L"\t" + url + L"\t" + First(path) + L"\t" + First(access) + L"\t" + First(docs) +
               L"\t" + First(browse) + L"\n";
    } else if (FAILED(hr)) {
        step = L"GetData " + std::wstring(kService) + L"/" + key + L" Path";
    }
    return hr;
}

// The mime lines: one per entry ".ext,type" of the machine's MIME map; none when the store has no map.
HRESULT ExportMimeMap(IMSAdminBaseW* admin, DWORD timeoutMs, std::wstring& out, std::wstring& step)
{
    CMetabaseKey mapKey;
    HRESULT hr = mapKey.Open(admin, METADATA_MASTER_ROOT_HANDLE, kMimeMap, METADATA_PERMISSION_READ, timeoutMs);
    if (hr == HR_PATH_NOT_FOUND)
        return S_OK;
    if (FAILED(hr)) {
        step = L"OpenKey " + std::wstring(kMimeMap);
        return hr;
    }
    std::vector<std::wstring> entries;
    if (FAILED(hr = Field(admin, mapKey.Handle(), L"", MD_MIME_MAP, false, entries))) {
        step = L"GetData " + std::wstring(kMimeMap);
        return hr;
    }
    for (const std::wstring& entry : entries) {
        size_t comma = entry.find(L',');
        if (comma != std::wstring::npos)
            out += L"mime\t" + entry.substr(0, comma) + L"\t" + entry.substr(comma + 1) + L"\n";
    }
    return mapKey.Close();
}

bool IsSiteNumber(const wchar_t* name)
{
    for (const wchar_t* p = name; *p; ++p)
        if (*p < L'0' || *p > L'9')
            return false;
    return *name && *name != L'0';
}

} // namespace

HRESULT WalkKeys(IMSAdminBaseW* admin, METADATA_HANDLE key, const std::wstring& relative,
                 const std::function<HRESULT(const std::wstring& path)>& visit, std::wstring& failed)
{
    std::vector<std::wstring> pending{relative}; // keys still to visit, the next one last
    wchar_t name[METADATA_MAX_NAME_LEN];
    while (!pending.empty()) {
        std::wstring path = std::move(pending.back());
        pending.pop_back();
        HRESULT hr = visit(path);
        if (FAILED(hr))
            return hr;
        std::vector<std::wstring> children;
        for (DWORD index = 0;; ++index) {
            hr = admin->EnumKeys(key, path.c_str(), name, index);
            if (hr == HR_NO_MORE_ITEMS)
                break;
            if (FAILED(hr)) {
                failed = path;
                return hr;
            }
            children.push_back(path.empty() ? name : path + L"/" + name);
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return S_OK;
}

HRESULT ExportWeb(IMSAdminBaseW* admin, DWORD timeoutMs, std::wstring& out, std::wstring& step)
{
    HRESULT hr = ExportMimeMap(admin, timeoutMs, out, step);
    if (FAILED(hr))
        return hr;
    CMetabaseKey serviceKey;
    hr = serviceKey.Open(admin, METADATA_MASTER_ROOT_HANDLE, kService, METADATA_PERMISSION_READ, timeoutMs);
    if (hr == HR_PATH_NOT_FOUND)
        return S_OK; // no web service: nothing to serve
    if (FAILED(hr)) {
        step = L"OpenKey " + std::wstring(kService);
        return hr;
    }
    const METADATA_HANDLE service = serviceKey.Handle();
    wchar_t name[METADATA_MAX_NAME_LEN];
    for (DWORD index = 0; SUCCEEDED(hr); ++index) {
        hr = admin->EnumKeys(service, L"", name, index);
        if (hr == HR_NO_MORE_ITEMS) {
            hr = S_OK;
            break;
        }
        if (FAILED(hr)) {
            step = L"EnumKeys " + std::wstring(kService);
            break;
        }
        if (!IsSiteNumber(name))
            continue;
        std::wstring site = name;
        std::vector<std::wstring> comment, bindings;
        if (FAILED(hr = Field(admin, service, site, MD_SERVER_COMMENT, false, comment)) ||
            FAILED(hr = Field(admin, service, site, MD_SERVER_BINDINGS, false, bindings))) {
            step = L"GetData " + std::wstring(kService) + L"/" + site;
            break;
        }
        out += L"site\t" + site + L"\t" + (comment.empty() ? L"" : comment.front()) + L"\n";
        for (const std::wstring& binding : bindings)
            out += L"binding\t" + site + L"\t" + binding + L"\n";
        const std::wstring root = site + L"/ROOT";
        std::wstring failed;
        hr = WalkKeys(
            admin, service, root, [&](const std::wstring& key) {
                return ExportDir(admin, service, site, key, key.substr(root.size()) + L"/", out, step);
            },
            failed);
        if (!failed.empty())
            step = L"EnumKeys " + std::wstring(kService) + L"/" + failed;
        if (hr == HR_PATH_NOT_FOUND)
            hr = S_OK; // a site without ROOT serves nothing, as IIS
    }
    HRESULT closed = serviceKey.Close();
    return FAILED(hr) ? hr : closed;
}

} // namespace iisadmin
