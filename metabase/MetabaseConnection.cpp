#include <initguid.h>   // defines the admin base object's class and interface ids in this unit
#include "MetabaseConnection.h"

#include <wchar.h>

HRESULT CreateAdminBase(Microsoft::WRL::ComPtr<IMSAdminBaseW>& adminBase)
{
    return ::CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_ALL, IID_IMSAdminBase_W,
                              reinterpret_cast<void**>(adminBase.ReleaseAndGetAddressOf()));
}

HRESULT CMetabaseKey::Open(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hParent, LPCWSTR pszPath, DWORD dwAccess,
                           DWORD dwTimeout)
{
    Close();
    HRESULT hr = pAdminBase->OpenKey(hParent, pszPath, dwAccess, dwTimeout, &m_hKey);
    if (SUCCEEDED(hr))
        m_pAdminBase = pAdminBase;
    return hr;
}

HRESULT CMetabaseKey::Close()
{
    IMSAdminBaseW* pAdminBase = m_pAdminBase;
    m_pAdminBase = nullptr;
    return pAdminBase ? pAdminBase->CloseKey(m_hKey) : S_OK;
}

HRESULT CMetabaseConnection::Open(LPCWSTR pszPath, DWORD dwAccess, CMetabaseKey& key)
{
    // A thread already in another apartment keeps it; uninitialising there would undo the owner's
    // initialisation, so only a successful CoInitialize is balanced.
    m_apartment.Reset(SUCCEEDED(::CoInitialize(nullptr)));
    HRESULT hr = CreateAdminBase(m_adminBase);
    if (FAILED(hr))
        return hr;
    return key.Open(m_adminBase.Get(), METADATA_MASTER_ROOT_HANDLE, pszPath, dwAccess);
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

HRESULT GetMetadata(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, LPCWSTR pszPath, METADATA_RECORD record,
                    std::vector<BYTE>& data, DWORD cbMax)
{
    for (;;)
    {
        record.dwMDDataLen = static_cast<DWORD>(data.size());
        record.pbMDData = data.data();
        DWORD cbRequired = 0;
        HRESULT hr = pAdminBase->GetData(hKey, pszPath, &record, &cbRequired);
        if (hr == HR_INSUFFICIENT_BUFFER && cbRequired > data.size() && cbRequired <= cbMax)
        {
            data.resize(cbRequired);
            continue;
        }
        if (SUCCEEDED(hr))
            data.resize(record.dwMDDataLen);
        return hr;
    }
}

std::vector<BYTE> StringBytes(const std::wstring& strText)
{
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(strText.c_str());
    return std::vector<BYTE>(pBytes, pBytes + (strText.size() + 1) * sizeof(WCHAR));
}

std::vector<BYTE> MultiStringBytes(const std::vector<std::wstring>& entries)
{
    std::vector<BYTE> data;
    for (const std::wstring& strEntry : entries)
    {
        std::vector<BYTE> bytes = StringBytes(strEntry);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    data.resize(data.size() + sizeof(WCHAR), 0);
    return data;
}

std::vector<BYTE> DwordBytes(DWORD dwValue)
{
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(&dwValue);
    return std::vector<BYTE>(pBytes, pBytes + sizeof(dwValue));
}

void BuildSiteKeyPath(int nSite, WCHAR (&szPath)[SITE_KEY_PATH_CCH])
{
    // Fixed room for the longest number: nothing to allocate, so nothing can fail here.
    _snwprintf(szPath, SITE_KEY_PATH_CCH, L"/LM/W3SVC/%d", nSite);
    szPath[SITE_KEY_PATH_CCH - 1] = L'\0';
}
