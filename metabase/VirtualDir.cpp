#include "VirtualDir.h"

#include "MetabaseConnection.h"
#include "Text.h"

#include <string.h>

#include <new>
#include <string>

namespace {

const DWORD kReadWrite = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;

// Writes one value of the new virtual directory on the opened key itself.
HRESULT SetValue(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, DWORD dwIdentifier, DWORD dwDataType,
                 std::vector<BYTE>& data)
{
    METADATA_RECORD record = MetadataRecord(dwIdentifier, METADATA_INHERIT, IIS_MD_UT_FILE, dwDataType, data.data(),
                                            static_cast<DWORD>(data.size()));
    return pAdminBase->SetData(hKey, L"/", &record);
}

// Reads one value of the key at pszPath below hKey; a value the key does not have is no failure and
// leaves the output as it was.
HRESULT ReadValue(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, LPCWSTR pszPath, DWORD dwIdentifier,
                  DWORD dwAttributes, std::vector<BYTE>& data)
{
    data.clear();
    HRESULT hr = GetMetadata(pAdminBase, hKey, pszPath,
                             MetadataRecord(dwIdentifier, dwAttributes, ALL_METADATA, ALL_METADATA), data);
    if (hr == HR_MD_DATA_NOT_FOUND)
    {
        data.clear();
        return S_OK;
    }
    return hr;
}

HRESULT ReadString(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, LPCWSTR pszPath, DWORD dwIdentifier,
                   DWORD dwAttributes, std::wstring& strValue)
{
    std::vector<BYTE> data;
    HRESULT hr = ReadValue(pAdminBase, hKey, pszPath, dwIdentifier, dwAttributes, data);
    if (FAILED(hr) || data.size() < sizeof(WCHAR))
        return hr;
    const WCHAR* pText = reinterpret_cast<const WCHAR*>(data.data());
    strValue.assign(pText, wcsnlen(pText, data.size() / sizeof(WCHAR)));
    return hr;
}

std::wstring RootKeyPath(int nSite)
{
    WCHAR szSiteKey[SITE_KEY_PATH_CCH];
    BuildSiteKeyPath(nSite, szSiteKey);
    return std::wstring(szSiteKey) + L"/ROOT";
}

}   // namespace

std::wstring VirtualDirKeyPath(int nSite, LPCSTR pszName)
{
    return RootKeyPath(nSite) + L"/" + AnsiToWide(pszName);
}

HRESULT CreateWebVirtualDir(int nSite, LPCSTR pszName, LPCSTR pszPath, LPCSTR pszDefaultDocs)
{
    // The name has no length limit, so the paths and values are built in allocated memory, before anything
    // is asked of the metabase; running out of memory is a result like any other, not an exception leaving
    // the routine.
    std::wstring strName, rootPath, dirPath;
    std::vector<BYTE> path, keyType, access, docs;
    try
    {
        strName = AnsiToWide(pszName);
        rootPath = RootKeyPath(nSite);
        dirPath = rootPath + L"/" + strName;
        path = StringBytes(AnsiToWide(pszPath));
        keyType = StringBytes(VIRTUAL_DIR_KEY_TYPE);
        access = DwordBytes(MD_ACCESS_READ);
        if (pszDefaultDocs)
            docs = StringBytes(AnsiToWide(pszDefaultDocs));
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }

    CMetabaseConnection admin;
    CMetabaseKey root;
    HRESULT hr = admin.Open(rootPath.c_str(), kReadWrite, root);
    if (FAILED(hr))
        return hr;
    IMSAdminBaseW* pAdminBase = admin.Get();
    hr = pAdminBase->AddKey(root.Handle(), strName.c_str());
    if (FAILED(hr))
        return hr;
    hr = root.Close();
    if (FAILED(hr))
        return hr;

    CMetabaseKey dir;
    hr = dir.Open(pAdminBase, METADATA_MASTER_ROOT_HANDLE, dirPath.c_str(), kReadWrite);
    if (FAILED(hr))
        return hr;
    hr = SetValue(pAdminBase, dir.Handle(), MD_VR_PATH, STRING_METADATA, path);
    if (FAILED(hr))
        return hr;
    hr = SetValue(pAdminBase, dir.Handle(), MD_KEY_TYPE, STRING_METADATA, keyType);
    if (FAILED(hr))
        return hr;
    hr = SetValue(pAdminBase, dir.Handle(), MD_ACCESS_PERM, DWORD_METADATA, access);
    if (FAILED(hr))
        return hr;
    if (pszDefaultDocs)
    {
        hr = SetValue(pAdminBase, dir.Handle(), MD_DEFAULT_LOAD_FILE, STRING_METADATA, docs);
        if (FAILED(hr))
            return hr;
    }
    return dir.Close();
}

HRESULT QueryVirtualDir(int nSite, LPCSTR pszName, VirtualDirInfo& info)
{
    CMetabaseConnection admin;
    CMetabaseKey dir;
    HRESULT hr = admin.Open(VirtualDirKeyPath(nSite, pszName).c_str(), METADATA_PERMISSION_READ, dir);
    if (FAILED(hr))
        return hr;
    IMSAdminBaseW* pAdminBase = admin.Get();
    hr = ReadString(pAdminBase, dir.Handle(), nullptr, MD_KEY_TYPE, METADATA_NO_ATTRIBUTES, info.strKeyType);
    if (FAILED(hr))
        return hr;
    hr = ReadString(pAdminBase, dir.Handle(), nullptr, MD_VR_PATH, METADATA_INHERIT, info.strPath);
    if (FAILED(hr))
        return hr;
    hr = ReadString(pAdminBase, dir.Handle(), nullptr, MD_DEFAULT_LOAD_FILE, METADATA_INHERIT, info.strDefaultDocs);
    if (FAILED(hr))
        return hr;
    std::vector<BYTE> access;
    hr = ReadValue(pAdminBase, dir.Handle(), nullptr, MD_ACCESS_PERM, METADATA_INHERIT, access);
    if (SUCCEEDED(hr) && access.size() == sizeof(DWORD))
        memcpy(&info.dwAccessFlags, access.data(), sizeof(DWORD));
    return hr;
}

HRESULT DeleteWebVirtualDir(int nSite, LPCSTR pszName)
{
    std::wstring strName = AnsiToWide(pszName);
    CMetabaseConnection admin;
    CMetabaseKey root;
    HRESULT hr = admin.Open(RootKeyPath(nSite).c_str(), kReadWrite, root);
    if (FAILED(hr))
        return hr;
    IMSAdminBaseW* pAdminBase = admin.Get();
    std::wstring strKeyType;
    hr = ReadString(pAdminBase, root.Handle(), strName.c_str(), MD_KEY_TYPE, METADATA_NO_ATTRIBUTES, strKeyType);
    if (FAILED(hr))
        return hr;
    if (strKeyType != VIRTUAL_DIR_KEY_TYPE)
        return HR_NOT_VIRTUAL_DIR;
    hr = pAdminBase->DeleteKey(root.Handle(), strName.c_str());
    if (FAILED(hr))
        return hr;
    return root.Close();
}
