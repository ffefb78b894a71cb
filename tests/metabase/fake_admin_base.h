// An in-memory admin base object for the metabase routines' tests: it keeps keys and values, records
// every call, and fails the calls a test scripts with the results it names. Registered for the real class
// id on the test thread, so the routines reach it through CoCreateInstance exactly as they reach IIS.
#pragma once

#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

struct FakeValue
{
    DWORD attributes = 0;
    DWORD userType = 0;
    DWORD dataType = 0;
    std::vector<BYTE> data;

    bool operator==(const FakeValue& o) const
    { return attributes == o.attributes && userType == o.userType && dataType == o.dataType && data == o.data; }
};

struct FakeMetabase
{
    // Key path ("/LM/W3SVC/1/ROOT") -> identifier -> value.
    std::map<std::wstring, std::map<DWORD, FakeValue>> keys;
    // The methods called, in order.
    std::vector<std::wstring> calls;
    // Results for successive calls of a method; S_OK lets a call behave normally.
    std::map<std::wstring, std::deque<HRESULT>> script;
    HRESULT createResult = S_OK;   // what the class factory answers
    LONG liveObjects = 0;
    int openHandles = 0;

    void AddKey(const std::wstring& path);
    void SetString(const std::wstring& path, DWORD id, const std::wstring& value) { Set(path, id, STRING_METADATA, value); }
    void SetMultiString(const std::wstring& path, DWORD id, const std::vector<std::wstring>& values);
    bool HasKey(const std::wstring& path) const { return keys.count(path) != 0; }
    // Identifiers stored at a key, in ascending order.
    std::vector<DWORD> Ids(const std::wstring& path) const;

private:
    void Set(const std::wstring& path, DWORD id, DWORD dataType, const std::wstring& text);
};

// Registers a class factory for the admin base class on this thread for the life of the object.
class FakeAdminBaseRegistration
{
public:
    explicit FakeAdminBaseRegistration(FakeMetabase& metabase);
    ~FakeAdminBaseRegistration();
    FakeAdminBaseRegistration(const FakeAdminBaseRegistration&) = delete;
    FakeAdminBaseRegistration& operator=(const FakeAdminBaseRegistration&) = delete;
    bool ok() const { return m_cookie != 0; }

private:
    IClassFactory* m_pFactory = nullptr;
    DWORD m_cookie = 0;
};
