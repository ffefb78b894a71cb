#include "InstallRequest.h"

#include "MbcsPath.h"
#include "resource.h"

namespace {

// The folder a run uses: a backslash after the trimmed text's last character unless that character is
// one (a double-byte character ending in byte 0x5C is not).
CString TargetFolderPath(const CString& strFolder)
{
    CString strPath = strFolder;
    const char* pLast = FindLastCharMbcs(strPath, '\\');
    if (!pLast || pLast[1] != '\0')
        strPath += '\\';
    return strPath;
}

} // namespace

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
