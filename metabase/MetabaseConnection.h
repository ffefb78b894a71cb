// The metabase client kit, shared by the program's routines, mdutil and the admin base object's tests:
// the connection to the IIS Admin Base Object, the owner of an open key, the reader of a value and the
// bytes values are made of.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <wrl/client.h>

#include <string>
#include <vector>

#include "MetabaseErrors.h"
#include "UniqueHandle.h"

// How long a routine waits for a key that another program holds.
const DWORD METABASE_TIMEOUT_MS = 1000;

// CoCreateInstance of the admin base object; its result.
HRESULT CreateAdminBase(Microsoft::WRL::ComPtr<IMSAdminBaseW>& adminBase);

// A metabase key, closed again when the owner ends. A class of its own rather than a UniqueHandle trait: a
// key means something only to the admin base that opened it, and CloseKey's result, which writes a change
// out, is one the callers report.
class CMetabaseKey
{
public:
    CMetabaseKey() = default;
    CMetabaseKey(const CMetabaseKey&) = delete;
    CMetabaseKey& operator=(const CMetabaseKey&) = delete;
    ~CMetabaseKey() { Close(); }

    // Closes a key this owner holds, then opens pszPath below hParent.
    HRESULT Open(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hParent, LPCWSTR pszPath, DWORD dwAccess,
                 DWORD dwTimeout = METABASE_TIMEOUT_MS);
    // Closes now and returns CloseKey's result; a key closed this way is not closed again.
    HRESULT Close();
    METADATA_HANDLE Handle() const { return m_hKey; }

private:
    IMSAdminBaseW* m_pAdminBase = nullptr;   // set while a key is open
    METADATA_HANDLE m_hKey = 0;
};

// One connection, owned for the length of one metabase routine: COM initialised on the calling thread and
// the object created, both undone when the connection ends. Keys opened through it are declared after it,
// so they are closed first.
class CMetabaseConnection
{
public:
    CMetabaseConnection() = default;
    CMetabaseConnection(const CMetabaseConnection&) = delete;
    CMetabaseConnection& operator=(const CMetabaseConnection&) = delete;

    // CoInitialize (its result only decides whether this connection uninitialises again), the admin base
    // object, and key pszPath from the metabase root: the result of the first of them that failed.
    HRESULT Open(LPCWSTR pszPath, DWORD dwAccess, CMetabaseKey& key);
    IMSAdminBaseW* Get() const { return m_adminBase.Get(); }

private:
    // COM is uninitialised only after the object is released: the members go in reverse order.
    ComApartment m_apartment;
    Microsoft::WRL::ComPtr<IMSAdminBaseW> m_adminBase;
};

// A value's description for GetData (the room in pData) and SetData (the value in pData).
METADATA_RECORD MetadataRecord(DWORD dwIdentifier, DWORD dwAttributes, DWORD dwUserType, DWORD dwDataType,
                               void* pData = nullptr, DWORD cbData = 0);

// GetData of the value that record describes into data: the buffer as the caller sized it, grown while the
// value needs more room, up to cbMax bytes (beyond that GetData's "insufficient buffer" is the result).
// On success data holds the value's bytes and nothing more.
HRESULT GetMetadata(IMSAdminBaseW* pAdminBase, METADATA_HANDLE hKey, LPCWSTR pszPath, METADATA_RECORD record,
                    std::vector<BYTE>& data, DWORD cbMax = MAXDWORD);

// The bytes of values as SetData takes them and GetData gives them back: a string with its terminator, a
// list of strings each with its own and the empty one that ends the list, a number.
std::vector<BYTE> StringBytes(const std::wstring& strText);
std::vector<BYTE> MultiStringBytes(const std::vector<std::wstring>& entries);
std::vector<BYTE> DwordBytes(DWORD dwValue);

// "/LM/W3SVC/" and the decimal site number: the key of web site nSite, from the metabase root.
enum { SITE_KEY_PATH_CCH = 32 };
void BuildSiteKeyPath(int nSite, WCHAR (&szPath)[SITE_KEY_PATH_CCH]);
