#include "InstallRequest.h"

#include "MbcsPath.h"
#include "resource.h"

InstallRefusal CheckInstallRequest(const CString& strFolderText, const CString& strPackageText, InstallRequest& request)
{
    CString strFolder = strFolderText;
    strFolder.Trim();
    request.strFolder = TargetFolderPath(strFolder);
    request.strPackage = strPackageText;
    request.strPackage.Trim();
    // Anything shorter than "C:\a" cannot be a folder below a drive's root.
    if (strFolder.GetLength() < 4)
        return { IDS_ENTER_FOLDER, IDC_WEB_FOLDER };
    if (request.strPackage.IsEmpty())
        return { IDS_ENTER_PACKAGE, IDC_PACKAGE };
    if (!FileExistsAtPath(request.strPackage))
        return { IDS_PACKAGE_NOT_FOUND, 0 };
    return { 0, 0 };
}

CString TargetFolderPath(const CString& strFieldText)
{
    CString strFolder = strFieldText;
    strFolder.Trim();
    const char* pLast = FindLastCharMbcs(strFolder, '\\');
    if (!pLast || pLast[1] != '\0')
        strFolder += '\\';
    return strFolder;
}
