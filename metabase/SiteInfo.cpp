#include "SiteInfo.h"

#include "MetabaseConnection.h"

#include <string.h>

#include <algorithm>
#include <new>

namespace {

// Bytes a read accepts, terminator(s) included.
const DWORD kWorkBufferBytes = SITE_VALUE_CCH * sizeof(WCHAR);

// Reads one value into the shared work buffer and, when it succeeds, copies its first string to pszOut:
// up to and including the first zero unit (for a multi-string value that is its first string), at most
// SITE_VALUE_CCH units with the terminator.
HRESULT ReadValue(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, LPCWSTR pszRelPath, DWORD dwIdentifier,
                  DWORD dwAttributes, std::vector<BYTE>& work, LPWSTR pszOut)
{
    work.resize(kWorkBufferBytes);   // within the room reserved at the start: nothing to allocate
    HRESULT hr = GetMetadata(pAdminBase, hKey, pszRelPath,
                             MetadataRecord(dwIdentifier, dwAttributes, IIS_MD_UT_SERVER, ALL_METADATA), work,
                             kWorkBufferBytes);
    if (FAILED(hr))
        return hr;
    const WCHAR* pText = reinterpret_cast<const WCHAR*>(work.data());
    size_t cch = wcsnlen(pText, std::min<size_t>(work.size() / sizeof(WCHAR), SITE_VALUE_CCH - 1));
    memcpy(pszOut, pText, cch * sizeof(WCHAR));
    pszOut[cch] = L'\0';
    return hr;
}

}   // namespace

HRESULT QuerySiteInfo(int nSite, LPWSTR pszDescription, LPWSTR pszRootPath, LPWSTR pszBinding)
{
    // The room for every read, taken before anything is asked of the metabase.
    std::vector<BYTE> work;
    try
    {
        work.reserve(kWorkBufferBytes);
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }

    WCHAR szSiteKey[SITE_KEY_PATH_CCH];
    BuildSiteKeyPath(nSite, szSiteKey);
    CMetabaseConnection admin;
    CMetabaseKey key;
    HRESULT hr = admin.Open(szSiteKey, METADATA_PERMISSION_READ, key);
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
