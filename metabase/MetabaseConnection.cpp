#include <initguid.h>   // defines the admin base object's class and interface ids in this unit
#include "MetabaseConnection.h"

#include <wchar.h>

HRESULT CMetabaseConnection::Open()
{
    // A thread already in another apartment keeps it; uninitialising there would undo the owner's
    // initialisation, so only a successful CoInitialize is balanced.
    m_apartment.bInitialized = SUCCEEDED(::CoInitialize(nullptr));
    return ::CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_ALL, IID_IMSAdminBase_W,
                              reinterpret_cast<void**>(m_adminBase.ReleaseAndGetAddressOf()));
}

CMetabaseKey::~CMetabaseKey()
{
    if (m_bOpen)
        m_pAdminBase->CloseKey(m_hKey);
}

HRESULT CMetabaseKey::Open(METADATA_HANDLE hParent, LPCWSTR pszPath, DWORD dwAccess, DWORD dwTimeout)
{
    HRESULT hr = m_pAdminBase->OpenKey(hParent, pszPath, dwAccess, dwTimeout, &m_hKey);
    m_bOpen = SUCCEEDED(hr);
    return hr;
}

HRESULT CMetabaseKey::Close()
{
    if (!m_bOpen)
        return S_OK;
    m_bOpen = false;
    return m_pAdminBase->CloseKey(m_hKey);
}

METADATA_RECORD MetadataRecord(DWORD dwIdentifier, DWORD dwAttributes, DWORD dwUserType, DWORD dwDataType, void* pData,
                               DWORD cbData)
{
    METADATA_RECORD record = {};
    record.dwMDIdentifier = dwIdentifier;
    record.dwMDAttributes = dwAttributes;
    record.dwMDUserType = dwUserType;
    record.dwMDDataType = dwDataType;
    record.dwMDDataLen = cbData;
    record.pbMDData = static_cast<unsigned char*>(pData);
    return record;
}

void BuildSiteKeyPath(int nSite, WCHAR (&szPath)[SITE_KEY_PATH_CCH])
{
    // Fixed room for the longest number: nothing to allocate, so nothing can fail here.
    _snwprintf(szPath, SITE_KEY_PATH_CCH, L"/LM/W3SVC/%d", nSite);
    szPath[SITE_KEY_PATH_CCH - 1] = L'\0';
}
