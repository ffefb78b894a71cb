#include "PackagePicker.h"

#include "resource.h"

#include <stddef.h>
#include <string.h>

#ifndef _WIN64
// The sizes the dialog has always been given on 32-bit Windows.
static_assert(sizeof(OPENFILENAMEA) == 88, "full OPENFILENAMEA");
// OPENFILENAME_SIZE_VERSION_400A in a form the compiler can evaluate.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76, "OPENFILENAMEA before Windows 2000");
#endif

namespace {

// Writes the four strings from pszFilter on; the number of bytes they take with their NULs, or 0 when
// they do not fit into cb bytes together with the NUL that ends the list.
size_t WriteFilter(char* pszFilter, size_t cb, LPCSTR pszAllFiles, LPCSTR pszPackage)
{
    const CString strAll = CString(pszAllFiles) + "(*.*)";
    const CString strPackage = CString(pszPackage) + "(.exe)";
    if (strAll.GetLength() >= PACKAGE_FILTER_BUFFER || strPackage.GetLength() >= PACKAGE_FILTER_BUFFER)
        return 0;
    const char* parts[] = { strAll, "*.*", strPackage, "*.exe" };
    size_t cbTotal = 1;
    for (const char* part : parts)
        cbTotal += strlen(part) + 1;
    if (cbTotal > cb)
        return 0;
    char* p = pszFilter;
    for (const char* part : parts)
    {
        size_t cbPart = strlen(part) + 1;
        memcpy(p, part, cbPart);
        p += cbPart;
    }
    *p = '\0';
    return cbTotal;
}

}   // namespace

BOOL BuildPackageFilter(char (&szFilter)[PACKAGE_FILTER_BUFFER], LPCSTR pszAllFiles, LPCSTR pszPackage)
{
    memset(szFilter, 0, sizeof(szFilter));
    if (WriteFilter(szFilter, sizeof(szFilter), pszAllFiles, pszPackage))
        return TRUE;
    WriteFilter(szFilter, sizeof(szFilter), "", "");
    return FALSE;
}

DWORD OpenFileNameSize(DWORD dwVersion)
{
    BYTE bMajor = LOBYTE(LOWORD(dwVersion));
    BYTE bMinor = HIBYTE(LOWORD(dwVersion));
    return bMajor >= 5 || bMinor != 0 ? sizeof(OPENFILENAMEA) : OPENFILENAME_SIZE_VERSION_400A;
}

void BrowseForPackage(CWnd* pDlg, int nFieldID)
{
    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof(ofn));
    ofn.lStructSize = OpenFileNameSize(::GetVersion());

    // The dialog starts with the package's usual name and leaves the chosen path in its place.
    CString strFile;
    strFile.LoadString(IDS_PACKAGE_FILE_NAME);
    strFile = strFile.Left(MAX_PATH - 1);

    CString strAllFiles, strPackage, strTitle;
    strAllFiles.LoadString(IDS_ALL_FILES);
    strPackage.LoadString(IDS_PACKAGE_FILTER);
    strTitle.LoadString(IDS_SELECT_PACKAGE_TITLE);
    char szFilter[PACKAGE_FILTER_BUFFER];
    BuildPackageFilter(szFilter, strAllFiles, strPackage);

    ofn.hwndOwner = pDlg->m_hWnd;
    ofn.lpstrFilter = szFilter;
    ofn.nFilterIndex = 2;
    ofn.lpstrFile = strFile.GetBuffer(MAX_PATH);
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = strTitle;
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (::GetOpenFileNameA(&ofn) == TRUE)
    {
        strFile.ReleaseBuffer();
        ::SetDlgItemTextA(pDlg->m_hWnd, nFieldID, strFile);
    }
}
