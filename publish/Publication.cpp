#include "Publication.h"

#include "DeployFiles.h"
#include "DeployWorker.h"
#include "InstallRequest.h"
#include "ListFile.h"
#include "Text.h"
#include "resource.h"

namespace {

PublishedFile InspectFile(const CString& strPath, const CString& strFolder, BOOL bContained,
                          const std::wstring& strResolvedRoot, BOOL bDigest)
{
    PublishedFile file;
    file.strPath = strPath;
    file.bInside = bContained && IsResolvedInside(ResolvedFolder(strFolder), strResolvedRoot);
    if (file.bInside && bDigest)
        file.digest = DigestFile(strPath);
    return file;
}

}   // namespace

std::vector<PublishedFile> InspectFiles(const CString& strFolder, const CString& strListFile, BOOL bDigests)
{
    std::vector<PublishedFile> files;
    std::wstring strResolvedRoot = ResolvedFolder(strFolder);
    UINT nCount = BoundFilesCount(ReadFilesCount(strListFile));
    for (const CString& strValue : ReadListEntries(strListFile, nCount))
    {
        // As in a run: an empty entry and one without a source part put no file anywhere.
        if (strValue.IsEmpty() || strValue.GetAt(0) == ',')
            continue;
        ListEntryPaths paths = ListEntryPathsOf(strValue, CString(), strFolder);
        files.push_back(InspectFile(paths.strDest, paths.strDestFolder, paths.bContained, strResolvedRoot, bDigests));
    }
    CString strPackageName;
    strPackageName.LoadString(IDS_PACKAGE_FILE_NAME);
    files.push_back(InspectFile(strFolder + strPackageName, strFolder, TRUE, strResolvedRoot, bDigests));
    return files;
}

BOOL Publication::IsVirtualDir() const
{
    return hrDir == S_OK && dir.strKeyType == VIRTUAL_DIR_KEY_TYPE;
}

BOOL Publication::IsComplete() const
{
    if (!IsVirtualDir())
        return FALSE;
    for (const PublishedFile& file : files)
        if (!file.digest.bPresent)
            return FALSE;
    return TRUE;
}

BOOL Publication::DiffersFrom(const Publication& other) const
{
    if (hrDir != other.hrDir || dir.strKeyType != other.dir.strKeyType || dir.strPath != other.dir.strPath ||
        dir.dwAccessFlags != other.dir.dwAccessFlags || dir.strDefaultDocs != other.dir.strDefaultDocs ||
        files.size() != other.files.size())
        return TRUE;
    for (size_t i = 0; i < files.size(); ++i)
    {
        const FileDigest& a = files[i].digest;
        const FileDigest& b = other.files[i].digest;
        if (files[i].strPath != other.files[i].strPath || a.bPresent != b.bPresent || a.cbSize != b.cbSize ||
            a.strSha256 != b.strSha256)
            return TRUE;
    }
    return FALSE;
}

Publication InspectPublication(int nSite, const CString& strListFile, const CString& strFolder)
{
    Publication publication;
    publication.hrDir = QueryVirtualDir(nSite, VIRTUAL_DIR_NAME, publication.dir);
    publication.strFolder = strFolder;
    publication.files = InspectFiles(strFolder, strListFile, TRUE);
    return publication;
}

Publication InspectPublication(int nSite, const CString& strListFile, BOOL bDigests)
{
    Publication publication;
    publication.hrDir = QueryVirtualDir(nSite, VIRTUAL_DIR_NAME, publication.dir);
    if (publication.hrDir != S_OK || publication.dir.strPath.empty())
        return publication;
    publication.strFolder = RunFolderPath(WideToAnsi(publication.dir.strPath.c_str()));
    publication.files = InspectFiles(publication.strFolder, strListFile, bDigests);
    return publication;
}
