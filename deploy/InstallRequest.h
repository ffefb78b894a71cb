// An Install request: the checks of the two fields, and what a deployment is given to work with.
#pragma once

#include <afxwin.h>

// Everything one deployment works with, taken when Install is pressed; the run reads nothing else.
struct InstallRequest
{
    CString strFolder;      // target folder, trimmed, ending with a backslash
    CString strPackage;     // package path, trimmed
    CString strModuleDir;   // the executable's folder, ending with a backslash
    CString strListFile;    // the list file beside the executable
    int nSite = 0;          // web site that receives the virtual directory
    BOOL bWebServerFound = FALSE;
};

struct InstallRefusal
{
    UINT nMessageID;   // catalogue string to show; 0 when the request is accepted
    int nFocusID;      // field that gets the focus, or 0 to leave the focus where it is
};

// Fills the request's folder and package from the fields' texts (blanks around them removed, the folder's
// environment variables expanded and its closing backslash added) and checks them in order: the folder
// must have at least 4 bytes and be a full path (a drive and its root, or a share) once expanded; the
// package must not be empty and FileExistsAtPath must accept it. The first failing check decides; the
// package is not looked at while the folder is refused. IDS_PACKAGE_NOT_FOUND quotes request.strPackage.
InstallRefusal CheckInstallRequest(const CString& strFolderText, const CString& strPackageText, InstallRequest& request);

// What the user is told of a refusal: the catalogue string, the package quoted where it names one.
CString RefusalText(const InstallRefusal& refusal, const InstallRequest& request);

// The target folder proposed for a site: its root folder, a backslash and "ZemWeb", whatever the root
// ends with (a drive root gives a doubled backslash).
CString ProposedFolder(const CString& strRootPath);

// The package proposed beside the executable (strModuleDir ends with a backslash), or the empty text
// when there is none there: nothing is proposed that the request would refuse as missing.
CString ProposedPackage(const CString& strModuleDir);

// A folder as a run would use it: blanks removed, environment variables expanded, a closing backslash.
CString RunFolderPath(const CString& strFolderText);
