#include "FolderPicker.h"

#include "MbcsPath.h"
#include "resource.h"

#include <mbstring.h>
#include <shlobj.h>
#include <string.h>

#include <memory>

char g_szBrowseFolder[MAX_PATH + 1];

namespace {

const char kZemWeb[] = "ZemWeb";

struct ReleaseDeleter
{
    void operator()(IUnknown* p) const { p->Release(); }
};

// An item list of the shell, freed with the allocator it came from.
class CShellItemList
{
public:
    CShellItemList(IMalloc* pMalloc, LPITEMIDLIST pidl) : m_pMalloc(pMalloc), m_pidl(pidl) {}
    CShellItemList(const CShellItemList&) = delete;
    CShellItemList& operator=(const CShellItemList&) = delete;
    ~CShellItemList()
    {
        if (m_pidl)
            m_pMalloc->Free(m_pidl);
    }
    LPITEMIDLIST Get() const { return m_pidl; }

private:
    IMalloc* m_pMalloc;
    LPITEMIDLIST m_pidl;
};

} // namespace

int CALLBACK BrowseFolderCallback(HWND hWnd, UINT uMsg, LPARAM, LPARAM)
{
    if (uMsg == BFFM_INITIALIZED)
        ::SendMessageA(hWnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(g_szBrowseFolder));
    return 0;
}

BOOL AppendZemWebFolder(char (&szPath)[MAX_PATH + 1])
{
    if (_mbsstr(reinterpret_cast<const unsigned char*>(szPath), reinterpret_cast<const unsigned char*>(kZemWeb)))
        return TRUE;
    const char* pSlash = FindLastCharMbcs(szPath, '\\');
    const bool bSeparator = pSlash && pSlash[1] != '\0';
    size_t cb = strlen(szPath) + (bSeparator ? 1 : 0) + strlen(kZemWeb);
    if (cb >= MAX_PATH)
        return FALSE;
    if (bSeparator)
        strcat(szPath, "\\");
    strcat(szPath, kZemWeb);
    return TRUE;
}

void BrowseForWebFolder(CWnd* pDlg, int nFieldID)
{
    ::GetDlgItemTextA(pDlg->m_hWnd, nFieldID, g_szBrowseFolder, sizeof(g_szBrowseFolder));

    IMalloc* pMallocRaw = nullptr;
    if (FAILED(::SHGetMalloc(&pMallocRaw)) || !pMallocRaw)
        return;
    std::unique_ptr<IMalloc, ReleaseDeleter> pMalloc(pMallocRaw);

    CString strTitle;
    strTitle.LoadString(IDS_SELECT_FOLDER_TITLE);
    char szPath[MAX_PATH + 1] = {};
    BROWSEINFOA bi = {};
    bi.hwndOwner = pDlg->m_hWnd;
    bi.pszDisplayName = szPath;
    bi.lpszTitle = strTitle;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
    bi.lpfn = &BrowseFolderCallback;
    CShellItemList item(pMalloc.get(), ::SHBrowseForFolderA(&bi));
    if (!item.Get())
        return;
    if (!::SHGetPathFromIDListA(item.Get(), szPath))
        return;
    if (!AppendZemWebFolder(szPath))
        return;
    ::SetDlgItemTextA(pDlg->m_hWnd, nFieldID, szPath);
}
