#include "VirtualDir.h"

#include "MetabaseConnection.h"
#include "Text.h"

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

} // namespace

HRESULT CreateWebVirtualDir(int nSite, LPCSTR pszName, LPCSTR pszPath, LPCSTR pszDefaultDocs)
{
    // The name has no length limit, so the paths and values are built in allocated memory, before anything
    // is asked of the metabase; running out of memory is a result like any other, not an exception leaving
    // the routine.
    std::wstring strName, rootPath, dirPath;
    std::vector<BYTE> path, keyType, access, docs;
    try
    {
        WCHAR szSiteKey[SITE_KEY_PATH_CCH];
        BuildSiteKeyPath(nSite, szSiteKey);
        strName = AnsiToWide(pszName);
        rootPath = std::wstring(szSiteKey) + L"/ROOT";
        dirPath = rootPath + L"/" + strName;
        path = StringBytes(AnsiToWide(pszPath));
        keyType = StringBytes(L"IIsWebVirtualDir");
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
