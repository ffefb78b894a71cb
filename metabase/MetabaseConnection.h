// One connection to the IIS Admin Base Object, owned for the length of one metabase routine: COM is
// initialised on the calling thread, the object created, and both undone when the connection ends.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <wrl/client.h>

class CMetabaseConnection
{
public:
    CMetabaseConnection() = default;
    CMetabaseConnection(const CMetabaseConnection&) = delete;
    CMetabaseConnection& operator=(const CMetabaseConnection&) = delete;
    ~CMetabaseConnection() = default;

    // CoInitialize (its result only decides whether this connection uninitialises again), then
    // CoCreateInstance of the admin base object; returns the CoCreateInstance result.
    HRESULT Open();
    IMSAdminBaseW* Get() const { return m_adminBase.Get(); }

private:
    // COM is uninitialised only after the object is released: the members go in reverse order.
    struct ComApartment
    {
        bool bInitialized = false;
        ~ComApartment()
        {
            if (bInitialized)
                ::CoUninitialize();
        }
    } m_apartment;
    Microsoft::WRL::ComPtr<IMSAdminBaseW> m_adminBase;
};

// A metabase key opened by a routine, closed again when the owner ends.
class CMetabaseKey
{
public:
    explicit CMetabaseKey(IMSAdminBaseW* pAdminBase) : m_pAdminBase(pAdminBase) {}
    CMetabaseKey(const CMetabaseKey&) = delete;
    CMetabaseKey& operator=(const CMetabaseKey&) = delete;
    ~CMetabaseKey();

    HRESULT Open(METADATA_HANDLE hParent, LPCWSTR pszPath, DWORD dwAccess, DWORD dwTimeout);
    // Closes now and returns CloseKey's result; a key closed this way is not closed again.
    HRESULT Close();
    METADATA_HANDLE Handle() const { return m_hKey; }

private:
    IMSAdminBaseW* m_pAdminBase;
    METADATA_HANDLE m_hKey = 0;
    bool m_bOpen = false;
};

// A value's description for GetData (the room in pData) and SetData (the value in pData).
METADATA_RECORD MetadataRecord(DWORD dwIdentifier, DWORD dwAttributes, DWORD dwUserType, DWORD dwDataType, void* pData,
                               DWORD cbData);

// "/LM/W3SVC/" and the decimal site number: the key of web site nSite, from the metabase root.
enum { SITE_KEY_PATH_CCH = 32 };
void BuildSiteKeyPath(int nSite, WCHAR (&szPath)[SITE_KEY_PATH_CCH]);
