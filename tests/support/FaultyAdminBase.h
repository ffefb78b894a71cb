// The real admin base object (the stand-in registered in the prefix) behind a wrapper that records every
// call and fails the calls a test names. The real object cannot be made to answer access denied, E_FAIL,
// a class that is not registered, or a failed close on demand, and some only after other calls went
// through: the wrapper injects those, and passes everything else on. Registered for the real class id on
// the test thread, so that the routines under test reach it through CoCreateInstance as they reach IIS.
#pragma once

#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>
#include <wrl/client.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace zem::ui {

struct FaultScript
{
    // Results for successive calls of a method; S_OK passes the call on to the real object.
    std::map<std::wstring, std::deque<HRESULT>> results;
    HRESULT createResult = S_OK;   // what the class factory answers instead of making an object

    std::vector<std::wstring> calls;   // every method called, in order
    // The records handed to SetData, with the key's path as given.
    struct Written
    {
        std::wstring path;
        METADATA_RECORD record;
        std::vector<BYTE> data;
    };
    std::vector<Written> written;
    LONG liveObjects = 0;
    int openHandles = 0;
};

class FaultyAdminBaseRegistration
{
public:
    explicit FaultyAdminBaseRegistration(FaultScript& script);
    ~FaultyAdminBaseRegistration();
    FaultyAdminBaseRegistration(const FaultyAdminBaseRegistration&) = delete;
    FaultyAdminBaseRegistration& operator=(const FaultyAdminBaseRegistration&) = delete;
    bool ok() const { return m_cookie != 0; }
    // A connection to the real object that the script does not see, for the test's own looks.
    Microsoft::WRL::ComPtr<IMSAdminBaseW> Unwrapped() const;

private:
    Microsoft::WRL::ComPtr<IClassFactory> m_real;
    IClassFactory* m_factory = nullptr;   // a raw owner: the ComPtr here would add a reference on Attach
    DWORD m_cookie = 0;
};

}   // namespace zem::ui
