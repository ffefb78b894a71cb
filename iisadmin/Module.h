// The DLL's count of live objects and LockServer calls: DllCanUnloadNow answers S_OK only at zero.
#pragma once

namespace iisadmin {

void LockModule();
void UnlockModule();

} // namespace iisadmin
