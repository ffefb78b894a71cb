// What a site publishes, looked at without changing anything: its virtual directory and the files a list
// file and the package put into a folder.
#pragma once

#include "FileDigest.h"
#include "VirtualDir.h"

#include <afxstr.h>

#include <vector>

struct PublishedFile
{
    CString strPath;   // where a run puts it
    // Whether its folder really lies inside the published folder, links followed: a file anywhere else is
    // never read or removed.
    BOOL bInside = FALSE;
    FileDigest digest;   // read only when inside
};

// The files that the list names (in the list's order) and then the package, below strFolder (ending with
// a backslash), each where a run puts it; each file inside is read for its digest only with bDigests.
std::vector<PublishedFile> InspectFiles(const CString& strFolder, const CString& strListFile, BOOL bDigests);

struct Publication
{
    HRESULT hrDir = S_OK;   // QueryVirtualDir's result: path not found when the site has no Zem
    VirtualDirInfo dir;
    CString strFolder;   // the directory's folder as a run names it; empty without the directory
    std::vector<PublishedFile> files;

    BOOL IsVirtualDir() const;
    // A virtual directory with every file in its folder.
    BOOL IsComplete() const;
    // Whether the two differ in the directory's values or in any file's presence, size or digest.
    BOOL DiffersFrom(const Publication& other) const;
};

// Site nSite's Zem and, when it is there, the files the list puts into its folder (read for their digests
// with bDigests).
Publication InspectPublication(int nSite, const CString& strListFile, BOOL bDigests = TRUE);
// Zem of site nSite, but the files looked for in strFolder: what a run into that folder would change.
Publication InspectPublication(int nSite, const CString& strListFile, const CString& strFolder);
