#include "FolderPicker.h"

#include "MbcsPath.h"
#include "Text.h"
#include "UniqueHandle.h"
#include "resource.h"

#include <mbstring.h>
#include <shlobj.h>
#include <wrl/client.h>
#include <string.h>

namespace {

const char kZemWeb[] = "ZemWeb";

}   // namespace

int CALLBACK BrowseFolderCallback(HWND hWnd, UINT uMsg, LPARAM, LPARAM lpData)
{
    if (uMsg == BFFM_INITIALIZED)
        ::SendMessageA(hWnd, BFFM_SETSELECTIONA, TRUE, lpData);
    return 0;
}

BOOL AppendZemWebFolder(CString& strPath)
{
    if (_mbsstr(reinterpret_cast<const unsigned char*>(strPath.GetString()), reinterpret_cast<const unsigned char*>(kZemWeb)))
        return TRUE;
    const char* pSlash = FindLastCharMbcs(strPath, '\\');
    const bool bSeparator = pSlash && pSlash[1] != '\0';
    size_t cb = static_cast<size_t>(strPath.GetLength()) + (bSeparator ? 1 : 0) + strlen(kZemWeb);
    if (cb >= MAX_PATH)
        return FALSE;
    if (bSeparator)
        strPath += '\\';
    strPath += kZemWeb;
    return TRUE;
}

void BrowseForWebFolder(CWnd* pDlg, int nFieldID)
{
    // The browser starts from at most MAX_PATH bytes of the field.
    CString strStart;
    ::GetDlgItemTextA(pDlg->m_hWnd, nFieldID, strStart.GetBuffer(MAX_PATH + 1), MAX_PATH + 1);
    strStart.ReleaseBuffer();

    // The shell's allocator is the task allocator, so the item below is freed as task memory; without an
    // allocator the shell cannot be asked at all.
    Microsoft::WRL::ComPtr<IMalloc> malloc;
    if (FAILED(::SHGetMalloc(malloc.GetAddressOf())) || !malloc)
        return;

    CString strTitle;
    strTitle.LoadString(IDS_SELECT_FOLDER_TITLE);
    CString strDisplayName;
    BROWSEINFOA bi = {};
    bi.hwndOwner = pDlg->m_hWnd;
    bi.pszDisplayName = strDisplayName.GetBuffer(MAX_PATH);
    bi.lpszTitle = strTitle;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
    bi.lpfn = &BrowseFolderCallback;
    bi.lParam = reinterpret_cast<LPARAM>(strStart.GetString());
    TaskMemory item(::SHBrowseForFolderA(&bi));
    if (!item)
        return;
    // The path is asked for in UTF-16 and converted without look-alikes: the system's own conversion
    // turns full-width reverse solidi and full stops in one folder's name into "\..\" steps that lead
    // to another folder. A folder the code page cannot name is not taken.
    WCHAR szWide[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(item.Get()), szWide))
        return;
    bool bExact = false;
    CString strPath = WideToAnsi(szWide, &bExact);
    if (!bExact || strPath.GetLength() > MAX_PATH || !AppendZemWebFolder(strPath))
        return;
    ::SetDlgItemTextA(pDlg->m_hWnd, nFieldID, strPath);
}
