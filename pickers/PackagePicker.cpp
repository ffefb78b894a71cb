#include "PackagePicker.h"

#include "resource.h"

#include <stddef.h>
#include <stdio.h>
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
    char szAll[PACKAGE_FILTER_BUFFER];
    char szPackage[PACKAGE_FILTER_BUFFER];
    int cbAll = snprintf(szAll, sizeof(szAll), "%s(*.*)", pszAllFiles);
    int cbPackage = snprintf(szPackage, sizeof(szPackage), "%s(.exe)", pszPackage);
    if (cbAll < 0 || cbPackage < 0 || static_cast<size_t>(cbAll) >= sizeof(szAll) ||
        static_cast<size_t>(cbPackage) >= sizeof(szPackage))
        return 0;
    const char* parts[] = { szAll, "*.*", szPackage, "*.exe" };
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

} // namespace

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

    char szFile[MAX_PATH] = {};
    CString strName;
    strName.LoadString(IDS_PACKAGE_FILE_NAME);
    lstrcpynA(szFile, strName, sizeof(szFile));

    CString strAllFiles, strPackage, strTitle;
    strAllFiles.LoadString(IDS_ALL_FILES);
    strPackage.LoadString(IDS_PACKAGE_FILTER);
    strTitle.LoadString(IDS_SELECT_PACKAGE_TITLE);
    char szFilter[PACKAGE_FILTER_BUFFER];
    BuildPackageFilter(szFilter, strAllFiles, strPackage);

    ofn.hwndOwner = pDlg->m_hWnd;
    ofn.lpstrFilter = szFilter;
    ofn.nFilterIndex = 2;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = sizeof(szFile);
    ofn.lpstrTitle = strTitle;
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (::GetOpenFileNameA(&ofn) == TRUE)
        ::SetDlgItemTextA(pDlg->m_hWnd, nFieldID, szFile);
}
