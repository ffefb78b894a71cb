#include "InstallRequest.h"

#include "MbcsPath.h"
#include "Text.h"
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

// The text with its environment variables filled in: IIS 7 and later keep a site's folder as
// "%SystemDrive%\inetpub\wwwroot", which the file functions would take for a folder of that name below
// the current directory. A variable that is not set stays as it was written.
CString ExpandedText(const CString& strText)
{
    CString strExpanded;
    for (DWORD cb = static_cast<DWORD>(strText.GetLength()) + 1;;)
    {
        // One byte more than asked for: the ANSI function may count a double-byte character short.
        DWORD cbNeeded = ::ExpandEnvironmentStringsA(strText, strExpanded.GetBuffer(static_cast<int>(cb) + 1), cb + 1);
        strExpanded.ReleaseBuffer();
        if (cbNeeded == 0)
            return strText;
        if (cbNeeded <= cb)
            return strExpanded;
        cb = cbNeeded;
    }
}

// A path that does not depend on the current directory or drive: "X:\..." or a share "\\server\share...".
// shlwapi has no such test: PathIsRelative takes "C:web" and "\web" for absolute, PathIsUNC "\\server".
bool IsFullPath(const char* pszPath)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszPath);
    if (((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':' && (p[2] == '\\' || p[2] == '/'))
        return true;
    if (p[0] != '\\' || p[1] != '\\' || p[2] == '\\' || p[2] == '\0')
        return false;
    const char* pShare = FindCharMbcs(pszPath + 2, '\\');
    return pShare && pShare[1] != '\0' && pShare[1] != '\\';
}

}   // namespace

CString RunFolderPath(const CString& strFolderText)
{
    CString strFolder = strFolderText;
    return TargetFolderPath(ExpandedText(strFolder.Trim()));
}

InstallRefusal CheckInstallRequest(const CString& strFolderText, const CString& strPackageText, InstallRequest& request)
{
    CString strFolder = strFolderText;
    strFolder.Trim();
    CString strExpanded = ExpandedText(strFolder);
    request.strFolder = TargetFolderPath(strExpanded);
    request.strPackage = strPackageText;
    request.strPackage.Trim();
    // Anything shorter than "C:\a" cannot be a folder below a drive's root, and nothing may be made
    // relative to the current directory, which the Open dialog moves about.
    if (strFolder.GetLength() < 4 || strExpanded.GetLength() < 4 || !IsFullPath(strExpanded))
        return { IDS_ENTER_FOLDER, IDC_WEB_FOLDER };
    if (request.strPackage.IsEmpty())
        return { IDS_ENTER_PACKAGE, IDC_PACKAGE };
    if (!FileExistsAtPath(request.strPackage))
        return { IDS_PACKAGE_NOT_FOUND, 0 };
    return { 0, 0 };
}

CString RefusalText(const InstallRefusal& refusal, const InstallRequest& request)
{
    CString strText;
    if (refusal.nMessageID == IDS_PACKAGE_NOT_FOUND)
        strText.Format(IDS_PACKAGE_NOT_FOUND, QuoteForMessage(request.strPackage));
    else
        strText.LoadString(refusal.nMessageID);
    return strText;
}

CString ProposedFolder(const CString& strRootPath)
{
    return strRootPath + "\\ZemWeb";
}

CString ProposedPackage(const CString& strModuleDir)
{
    CString strName;
    strName.LoadString(IDS_PACKAGE_FILE_NAME);
    CString strPackage;
    strPackage.Format("%s%s", strModuleDir.GetString(), strName.GetString());
    return FileExistsAtPath(strPackage) ? strPackage : CString();
}
