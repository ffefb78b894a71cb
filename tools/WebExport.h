// What the web server needs from the metabase, as text a script turns into another server's configuration.
#pragma once

#include <windows.h>
#include <iadmw.h>

#include <functional>
#include <string>

namespace iisadmin {

// One tab-separated line per fact, sites in key order:
//   site <n> <ServerComment>
//   binding <n> <IP:Port:Host>                                  one per ServerBindings entry
//   dir <n> <URL path> <Path> <AccessFlags> <DefaultDoc> <DirBrowseFlags>
//   mime <.ext> <type>                                          one per entry of /LM/MimeMap, first
// A dir line stands for ROOT ("/") and for each key below it with a Path of its own ("/Zem/"); the last
// three values are the effective ones, inherited where the key sets none, and "-" when nobody sets them.
// Tabs and line breaks inside values become blanks. On failure `step` names the call that failed.
HRESULT ExportWeb(IMSAdminBaseW* admin, DWORD timeoutMs, std::wstring& out, std::wstring& step);

// Visits the key `relative` (below the open key) and every key under it, parents first and siblings in
// EnumKeys order, each by its path below the open key; walked with a list of its own, since a key path
// thousands of levels deep must not take as many nested calls. Stops at the first failure: of a visit,
// or of listing the children of `failed`.
HRESULT WalkKeys(IMSAdminBaseW* admin, METADATA_HANDLE key, const std::wstring& relative,
                 const std::function<HRESULT(const std::wstring& path)>& visit, std::wstring& failed);

} // namespace iisadmin
