#include "InstallRequest.h"

#include "MbcsPath.h"
#include "resource.h"

InstallRefusal CheckInstallRequest(const CString& strFolderText, const CString& strPackageText)
{
    CString strFolder = strFolderText;
    strFolder.TrimLeft();
    strFolder.TrimRight();
    // Anything shorter than "C:\a" cannot be a folder below a drive's root.
    if (strFolder.GetLength() < 4)
        return { IDS_ENTER_FOLDER, IDC_WEB_FOLDER };

    CString strPackage = strPackageText;
    strPackage.TrimLeft();
    strPackage.TrimRight();
    if (strPackage.IsEmpty())
        return { IDS_ENTER_PACKAGE, IDC_PACKAGE };
    if (!FileExistsAtPath(strPackage))
        return { IDS_PACKAGE_NOT_FOUND, 0 };
    return { 0, 0 };
}
