#include "SiteInfo.h"

#include "MetabaseConnection.h"

#include <string.h>

namespace {

// Bytes a read accepts, terminator(s) included.
const DWORD kWorkBufferBytes = SITE_VALUE_CCH * sizeof(WCHAR);

// Reads one value into the shared work buffer and, when it succeeds, copies its first string to pszOut.
HRESULT ReadValue(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, LPCWSTR pszRelPath, DWORD dwIdentifier,
                  DWORD dwAttributes, WCHAR (&work)[SITE_VALUE_CCH], LPWSTR pszOut)
{
    METADATA_RECORD record = MetadataRecord(dwIdentifier, dwAttributes, IIS_MD_UT_SERVER, ALL_METADATA, work, kWorkBufferBytes);
    DWORD dwRequired = 0;
    HRESULT hr = pAdminBase->GetData(hKey, pszRelPath, &record, &dwRequired);
    if (FAILED(hr))
        return hr;
    // Up to and including the first zero unit: for a multi-string value that is its first string. The
    // work buffer's last unit is kept zero, so the copy ends inside both buffers.
    work[SITE_VALUE_CCH - 1] = L'\0';
    size_t cch = wcslen(work);
    memcpy(pszOut, work, (cch + 1) * sizeof(WCHAR));
    return hr;
}

} // namespace

HRESULT QuerySiteInfo(int nSite, LPWSTR pszDescription, LPWSTR pszRootPath, LPWSTR pszBinding)
{
    WCHAR work[SITE_VALUE_CCH] = {};

    CMetabaseConnection admin;
    HRESULT hr = admin.Open();
    if (FAILED(hr))
        return hr;

    WCHAR szSiteKey[SITE_KEY_PATH_CCH];
    BuildSiteKeyPath(nSite, szSiteKey);
    CMetabaseKey key(admin.Get());
    hr = key.Open(METADATA_MASTER_ROOT_HANDLE, szSiteKey, METADATA_PERMISSION_READ, 1000);
    if (FAILED(hr))
        return hr;

    // Each read decides the result in turn: a failed read does not stop the later ones.
    if (pszDescription)
        hr = ReadValue(admin.Get(), key.Handle(), L"ROOT", MD_SERVER_COMMENT, METADATA_INHERIT, work, pszDescription);
    if (pszRootPath)
        hr = ReadValue(admin.Get(), key.Handle(), L"ROOT", MD_VR_PATH, METADATA_INHERIT, work, pszRootPath);
    if (pszBinding)
        hr = ReadValue(admin.Get(), key.Handle(), nullptr, MD_SERVER_BINDINGS, METADATA_NO_ATTRIBUTES, work, pszBinding);
    return hr;
}
