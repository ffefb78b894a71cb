// The admin base object: IMSAdminBaseW over the process's Store. Handles belong to the object that
// opened them; whatever is still open when the last reference goes is closed then, so a client that
// forgets a handle does not keep the key locked for the rest of its process.
#pragma once

#include "KeyLocks.h"
#include "MetaTree.h"
#include "Store.h"

#include <windows.h>
#include <iadmw.h>

#include <map>
#include <memory>
#include <mutex>

namespace iisadmin {

class AdminBase final : public IMSAdminBaseW
{
public:
    // Creates an object and hands out riid on it (the class factory's create function).
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown
    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;

    // IMSAdminBaseW: what the metabase clients use
    HRESULT WINAPI AddKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath) override;
    HRESULT WINAPI DeleteKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath) override;
    HRESULT WINAPI EnumKeys(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, LPWSTR pszMDName,
                            DWORD dwMDEnumObjectIndex) override;
    HRESULT WINAPI SetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData) override;
    HRESULT WINAPI GetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData,
                           DWORD* pdwMDRequiredDataLen) override;
    HRESULT WINAPI DeleteData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, DWORD dwMDIdentifier,
                              DWORD dwMDDataType) override;
    HRESULT WINAPI EnumData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, PMETADATA_RECORD pmdrMDData,
                            DWORD dwMDEnumDataIndex, DWORD* pdwMDRequiredDataLen) override;
    HRESULT WINAPI OpenKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath, DWORD dwMDAccessRequested,
                           DWORD dwMDTimeOut, PMETADATA_HANDLE phMDNewHandle) override;
    HRESULT WINAPI CloseKey(METADATA_HANDLE hMDHandle) override;
    HRESULT WINAPI SaveData() override;

    // IMSAdminBaseW: the rest answers E_NOTIMPL
    HRESULT WINAPI DeleteChildKeys(METADATA_HANDLE, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI CopyKey(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, BOOL, BOOL) override { return E_NOTIMPL; }
    HRESULT WINAPI RenameKey(METADATA_HANDLE, LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI GetAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD, unsigned char*,
                              DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI DeleteAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI CopyData(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT WINAPI GetDataPaths(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WCHAR*, DWORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ChangePermissions(METADATA_HANDLE, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI GetHandleInfo(METADATA_HANDLE, PMETADATA_HANDLE_INFO) override { return E_NOTIMPL; }
    HRESULT WINAPI GetSystemChangeNumber(DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetDataSetNumber(METADATA_HANDLE, LPCWSTR, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI SetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, BOOL) override { return E_NOTIMPL; }
    HRESULT WINAPI GetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, BOOL) override { return E_NOTIMPL; }
    HRESULT WINAPI KeyExchangePhase1() override { return E_NOTIMPL; }
    HRESULT WINAPI KeyExchangePhase2() override { return E_NOTIMPL; }
    HRESULT WINAPI Backup(LPCWSTR, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI Restore(LPCWSTR, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI EnumBackups(LPWSTR, DWORD*, PFILETIME, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI DeleteBackup(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI UnmarshalInterface(IMSAdminBaseW**) override { return E_NOTIMPL; }
    HRESULT WINAPI GetServerGuid() override { return E_NOTIMPL; }

private:
    struct OpenHandle
    {
        KeyPath path;
        DWORD access = 0;
        bool changed = false;
        LockTicket lock;
    };

    explicit AdminBase(std::shared_ptr<Store> store);
    ~AdminBase();

    // What a method works on once Begin has let it through: the store's mutex, held to the method's end;
    // the handle (null for the master root); the path the method names; and, when asked for, its key.
    struct Call
    {
        std::unique_lock<std::mutex> guard;
        OpenHandle* open = nullptr;
        KeyPath path;
        Key* key = nullptr;
    };
    enum class Find { Path,
                      Key };

    // Every method's first steps, in the interface's order: the handle and the permission the method
    // needs, then the caller's arguments (their verdict passed in), then the store (a file that cannot
    // be read fails every call), then the key relative names below the handle's (Find::Key: it must
    // exist).
    HRESULT Begin(Call& call, METADATA_HANDLE handle, DWORD need, HRESULT arguments, LPCWSTR relative, Find find);
    // Looks up a handle (0: the master root, read-only) and checks that it grants the permission bits in
    // need. The caller holds the store's mutex.
    HRESULT Resolve(METADATA_HANDLE handle, DWORD need, KeyPath& path, OpenHandle** open);
    // Writes out what the handle changed, then lets go of its lock. The caller holds the store's mutex.
    HRESULT Close(OpenHandle& open);

    LONG m_refs = 1;
    std::shared_ptr<Store> m_store;
    std::map<METADATA_HANDLE, OpenHandle> m_handles;
};

} // namespace iisadmin
