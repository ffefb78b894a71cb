#include "VirtualDir.h"

#include "MetabaseConnection.h"

#include <new>
#include <string>

namespace {

const DWORD kReadWrite = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;
const DWORD kTimeoutMs = 1000;

// Writes one value of the new virtual directory on the opened key itself.
HRESULT SetValue(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, DWORD dwIdentifier, DWORD dwDataType,
                 const void* pData, DWORD cbData)
{
    METADATA_RECORD record = MetadataRecord(dwIdentifier, METADATA_INHERIT, IIS_MD_UT_FILE, dwDataType,
                                            const_cast<void*>(pData), cbData);
    return pAdminBase->SetData(hKey, L"/", &record);
}

HRESULT SetString(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, DWORD dwIdentifier, LPCWSTR pszValue)
{
    return SetValue(pAdminBase, hKey, dwIdentifier, STRING_METADATA, pszValue,
                    static_cast<DWORD>((wcslen(pszValue) + 1) * sizeof(WCHAR)));
}

} // namespace

HRESULT CreateWebVirtualDir(int nSite, LPCWSTR pszName, LPCWSTR pszPath, LPCWSTR pszDefaultDocs)
{
    CMetabaseConnection admin;
    HRESULT hr = admin.Open();
    if (FAILED(hr))
        return hr;
    IMSAdminBaseW* pAdminBase = admin.Get();

    // The name has no length limit, so the paths are built in allocated strings; running out of memory
    // is a result like any other, not an exception leaving the routine.
    std::wstring rootPath, dirPath;
    try
    {
        WCHAR szSiteKey[SITE_KEY_PATH_CCH];
        BuildSiteKeyPath(nSite, szSiteKey);
        rootPath = std::wstring(szSiteKey) + L"/ROOT";
        dirPath = rootPath + L"/" + pszName;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }

    {
        CMetabaseKey root(pAdminBase);
        hr = root.Open(METADATA_MASTER_ROOT_HANDLE, rootPath.c_str(), kReadWrite, kTimeoutMs);
        if (FAILED(hr))
            return hr;
        hr = pAdminBase->AddKey(root.Handle(), pszName);
        if (FAILED(hr))
            return hr;
        hr = root.Close();
        if (FAILED(hr))
            return hr;
    }

    CMetabaseKey dir(pAdminBase);
    hr = dir.Open(METADATA_MASTER_ROOT_HANDLE, dirPath.c_str(), kReadWrite, kTimeoutMs);
    if (FAILED(hr))
        return hr;
    hr = SetString(pAdminBase, dir.Handle(), MD_VR_PATH, pszPath);
    if (FAILED(hr))
        return hr;
    hr = SetString(pAdminBase, dir.Handle(), MD_KEY_TYPE, L"IIsWebVirtualDir");
    if (FAILED(hr))
        return hr;
    const DWORD dwAccess = MD_ACCESS_READ;
    hr = SetValue(pAdminBase, dir.Handle(), MD_ACCESS_PERM, DWORD_METADATA, &dwAccess, sizeof(dwAccess));
    if (FAILED(hr))
        return hr;
    if (pszDefaultDocs)
    {
        hr = SetString(pAdminBase, dir.Handle(), MD_DEFAULT_LOAD_FILE, pszDefaultDocs);
        if (FAILED(hr))
            return hr;
    }
    return dir.Close();
}
