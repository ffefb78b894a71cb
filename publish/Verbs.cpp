#include "Verbs.h"

#include "ConsoleEvents.h"
#include "DeployWorker.h"
#include "InstallRequest.h"
#include "MbcsPath.h"
#include "MetabaseErrors.h"
#include "ModulePaths.h"
#include "PublishResource.h"
#include "Publication.h"
#include "SiteAddress.h"
#include "SiteInfo.h"
#include "Text.h"
#include "resource.h"

#include <iiscnfg.h>

#include <set>

namespace {

// The distribution's one list file, beside both programs: the dialog's, named after it.
const char kListFileName[] = "ZemWebSetup.ini";

struct Site
{
    int nSite = 0;
    CString strDescription;
    CString strRootPath;
    CString strBinding;
    CString strAddress;
};

CString LoadText(UINT nID)
{
    CString strText;
    strText.LoadString(nID);
    return strText;
}

template <typename... Args>
CString FormatText(UINT nID, const Args&... args)
{
    CString strText;
    strText.Format(nID, args...);
    return strText;
}

// The access flags as the metabase names them.
CString AccessNames(DWORD dwFlags)
{
    static const struct
    {
        DWORD dwFlag;
        const char* pszName;
    } kFlags[] = {
        { MD_ACCESS_READ, "AccessRead" },
        { MD_ACCESS_WRITE, "AccessWrite" },
        { MD_ACCESS_EXECUTE, "AccessExecute" },
        { MD_ACCESS_SOURCE, "AccessSource" },
        { MD_ACCESS_SCRIPT, "AccessScript" },
    };
    CString strNames;
    for (const auto& flag : kFlags)
    {
        if (!(dwFlags & flag.dwFlag))
            continue;
        strNames += strNames.IsEmpty() ? "" : " | ";
        strNames += flag.pszName;
        dwFlags &= ~flag.dwFlag;
    }
    if (dwFlags != 0 || strNames.IsEmpty())
    {
        CString strRest;
        strRest.Format("%s0x%lX", strNames.IsEmpty() ? "" : " | ", dwFlags);
        strNames += strRest;
    }
    return strNames;
}

// Every folder from strRoot down to the folder that holds strFile, each ending with a backslash.
void AddFoldersDownTo(const CString& strFile, const CString& strRoot, std::set<CString>& folders)
{
    const char* pszFile = strFile;
    const char* pLastSlash = FindLastCharMbcs(pszFile, '\\');
    for (const char* p = pszFile + strRoot.GetLength() - 1; p && p <= pLastSlash; p = ::CharNextA(p))
        if (*p == '\\')
            folders.insert(CString(pszFile, static_cast<int>(p + 1 - pszFile)));
}

class CVerbRun
{
public:
    CVerbRun(const PublishOptions& options, CConsoleOutput& out, CJsonWriter& json)
        : m_options(options), m_out(out), m_json(json)
    {
        char szModuleDir[MAX_PATH + 1], szListFile[MAX_PATH + 1];
        ReadModulePaths(szModuleDir, szListFile);
        m_strModuleDir = szModuleDir;
    }

    int Run();

private:
    int Sites();
    int Publish();
    int Status();
    int Remove();

    // The sites the dialog lists, read into m_sites; EXIT_DONE, or the failure's status once it is told.
    int FindSites();
    // Then the site the options name, or the first; also the list file.
    int ChooseSite();
    // Tells a failure and returns its status.
    int Fail(int nStatus, const CString& strText);
    int MetabaseFailure(HRESULT hr);

    CString DirKey() const;
    void WriteSite(const Site& site);
    // The members that tell a file, in the object the caller opened.
    void WriteFileMembers(const PublishedFile& file);
    void TellFile(const PublishedFile& file);

    const PublishOptions& m_options;
    CConsoleOutput& m_out;
    CJsonWriter& m_json;
    CString m_strModuleDir;
    CString m_strListFile;
    std::vector<Site> m_sites;
    const Site* m_pSite = nullptr;
};

int CVerbRun::Run()
{
    int nStatus = FindSites();
    if (nStatus != EXIT_DONE)
        return nStatus;
    if (m_options.verb == VERB_SITES)
        return Sites();
    nStatus = ChooseSite();
    if (nStatus != EXIT_DONE)
        return nStatus;
    WriteSite(*m_pSite);
    m_json.Key("list").String(m_strListFile);
    m_out.Line(FormatText(IDS_P_SITE, m_pSite->nSite, m_pSite->strDescription));
    switch (m_options.verb)
    {
    case VERB_PUBLISH:
        return Publish();
    case VERB_STATUS:
        return Status();
    default:
        return Remove();
    }
}

int CVerbRun::Fail(int nStatus, const CString& strText)
{
    m_out.Error(strText);
    m_json.Key("error").String(strText);
    return nStatus;
}

int CVerbRun::MetabaseFailure(HRESULT hr)
{
    if (hr == HR_PATH_BUSY)
        return Fail(EXIT_METABASE_BUSY, LoadText(IDS_P_BUSY));
    return Fail(EXIT_RUN_FAILED, FormatText(IDS_P_METABASE_ERROR, static_cast<unsigned>(hr), SystemErrorText(hr).TrimRight()));
}

int CVerbRun::FindSites()
{
    HRESULT hr = S_OK;
    for (int nSite = 1;; ++nSite)
    {
        // Fresh buffers for each site: a value that cannot be read shows as empty, not as the last site's.
        WCHAR szDescription[SITE_VALUE_CCH] = {};
        WCHAR szRootPath[SITE_VALUE_CCH] = {};
        WCHAR szBinding[SITE_VALUE_CCH] = {};
        hr = QuerySiteInfo(nSite, szDescription, szRootPath, szBinding);
        if (hr != S_OK)
            break;
        Site site;
        site.nSite = nSite;
        site.strDescription = WideToAnsi(szDescription);
        site.strRootPath = WideToAnsi(szRootPath);
        site.strBinding = WideToAnsi(szBinding);
        CString strHost, strPort, strHostHeader;
        SplitServerBinding(site.strBinding, strHost, strPort, strHostHeader);
        site.strAddress = FormatSiteUrl(strHost, strPort, strHostHeader);
        m_sites.push_back(site);
    }
    if (hr == HR_PATH_BUSY)
        return MetabaseFailure(hr);
    if (!m_sites.empty())
        return EXIT_DONE;
    m_out.Error(LoadText(IDS_NO_WEB_SERVER));
    if (hr == REGDB_E_CLASSNOTREG)
        return Fail(EXIT_NO_WEB_SERVER, LoadText(IDS_P_NO_ADMIN_BASE));
    return Fail(EXIT_NO_WEB_SERVER, FormatText(IDS_P_METABASE_ERROR, static_cast<unsigned>(hr), SystemErrorText(hr).TrimRight()));
}

int CVerbRun::ChooseSite()
{
    for (const Site& site : m_sites)
        if (m_options.nSite ? site.nSite == m_options.nSite
                            : !m_options.siteName.bGiven || site.strDescription.CompareNoCase(m_options.siteName.str) == 0)
        {
            m_pSite = &site;
            break;
        }
    if (!m_pSite && m_options.nSite)
        return Fail(EXIT_REFUSED, FormatText(IDS_P_NO_SUCH_SITE, m_options.nSite));
    if (!m_pSite)
        return Fail(EXIT_REFUSED, FormatText(IDS_P_NO_SUCH_SITE_NAME, m_options.siteName.str));

    if (!m_options.list.bGiven)
    {
        m_strListFile = m_strModuleDir + kListFileName;
        return EXIT_DONE;
    }
    // The profile functions look for a bare name in the Windows folder: the list is taken from where the
    // command was given. A list that is not there would publish the package alone.
    char szFull[MAX_PATH + 1] = {};
    DWORD cch = ::GetFullPathNameA(m_options.list.str, sizeof(szFull), szFull, nullptr);
    if (cch == 0 || cch >= sizeof(szFull) || !FileExistsAtPath(szFull))
        return Fail(EXIT_REFUSED, FormatText(IDS_P_NO_LIST_FILE, QuoteForMessage(m_options.list.str)));
    m_strListFile = szFull;
    return EXIT_DONE;
}

CString CVerbRun::DirKey() const
{
    return WideToAnsi(VirtualDirKeyPath(m_pSite->nSite, VIRTUAL_DIR_NAME).c_str());
}

void CVerbRun::WriteSite(const Site& site)
{
    if (m_options.verb != VERB_SITES)
        m_json.Key("site");
    m_json.BeginObject()
        .Key("number")
        .Number(site.nSite)
        .Key("description")
        .String(site.strDescription)
        .Key("rootFolder")
        .String(site.strRootPath)
        .Key("binding")
        .String(site.strBinding)
        .Key("address")
        .String(site.strAddress)
        .EndObject();
}

void CVerbRun::WriteFileMembers(const PublishedFile& file)
{
    m_json.Key("path").String(file.strPath).Key("present").Bool(file.digest.bPresent);
    if (file.digest.bPresent)
        m_json.Key("size").Number(static_cast<LONGLONG>(file.digest.cbSize)).Key("sha256").String(file.digest.strSha256);
}

void CVerbRun::TellFile(const PublishedFile& file)
{
    if (file.digest.bPresent)
        m_out.Line(FormatText(IDS_P_FILE, file.strPath, file.digest.cbSize, file.digest.strSha256));
    else
        m_out.Line(FormatText(IDS_P_FILE_MISSING, file.strPath));
}

int CVerbRun::Sites()
{
    m_json.Key("sites").BeginArray();
    for (const Site& site : m_sites)
    {
        m_out.Line(FormatText(IDS_P_SITE, site.nSite, site.strDescription));
        m_out.Line(FormatText(IDS_P_ROOT_FOLDER, site.strRootPath));
        m_out.Line(FormatText(IDS_P_BINDING, site.strBinding));
        m_out.Line(FormatText(IDS_P_ADDRESS, site.strAddress));
        WriteSite(site);
    }
    m_json.EndArray();
    return EXIT_DONE;
}

int CVerbRun::Publish()
{
    // The fields as the dialog would fill them, unless the command line says otherwise.
    CString strFolder = m_options.folder.bGiven ? m_options.folder.str : ProposedFolder(m_pSite->strRootPath);
    CString strPackage = m_options.package.bGiven ? m_options.package.str : ProposedPackage(m_strModuleDir);
    InstallRequest request;
    InstallRefusal refusal = CheckInstallRequest(strFolder, strPackage, request);
    if (refusal.nMessageID != 0)
        return Fail(EXIT_REFUSED, RefusalText(refusal, request));
    request.strModuleDir = m_strModuleDir;
    request.strListFile = m_strListFile;
    request.nSite = m_pSite->nSite;
    request.bWebServerFound = TRUE;
    m_json.Key("folder").String(request.strFolder).Key("package").String(request.strPackage);

    Publication before = InspectPublication(request.nSite, m_strListFile, request.strFolder);
    CConsoleEvents events(m_out, m_options.bKeepExisting);
    // Only a run is stopped between files; elsewhere Ctrl+C ends the program as it would any other.
    InstallConsoleStop();
    DeployWorker(request, events);
    ConsoleRunEnded();
    Publication after = InspectPublication(request.nSite, m_strListFile, request.strFolder);
    m_json.Key("verdict").String(events.Verdict().IsEmpty() ? nullptr : events.Verdict().GetString()).Key("created").Bool(before.hrDir == HR_PATH_NOT_FOUND && after.hrDir == S_OK).Key("keptExisting").Bool(events.KeptExisting()).Key("changed").Bool(after.DiffersFrom(before));

    if (IsConsoleStopRequested())
        return Fail(EXIT_RUN_FAILED, LoadText(IDS_P_STOPPED));
    if (events.DeclinedCause() == HR_PATH_BUSY)
        return Fail(EXIT_METABASE_BUSY, LoadText(IDS_P_BUSY));
    if (!events.Finished())
    {
        m_json.Key("error").String(events.Reason());
        return EXIT_RUN_FAILED;
    }
    m_out.Line(FormatText(IDS_P_ADDRESS, m_pSite->strAddress));
    return EXIT_DONE;
}

int CVerbRun::Status()
{
    // The package compared with is the one publish would take.
    CString strReference = m_options.package.bGiven ? m_options.package.str : ProposedPackage(m_strModuleDir);
    if (m_options.package.bGiven && !FileExistsAtPath(strReference))
        return Fail(EXIT_REFUSED, FormatText(IDS_PACKAGE_NOT_FOUND, QuoteForMessage(strReference)));
    Publication publication = InspectPublication(m_pSite->nSite, m_strListFile);
    if (FAILED(publication.hrDir) && publication.hrDir != HR_PATH_NOT_FOUND)
        return MetabaseFailure(publication.hrDir);

    const VirtualDirInfo& dir = publication.dir;
    m_json.Key("virtualDirectory").BeginObject().Key("key").String(DirKey()).Key("exists").Bool(publication.hrDir == S_OK);
    if (publication.hrDir == S_OK)
    {
        CString strKeyType = WideToAnsi(dir.strKeyType.c_str());
        CString strPath = WideToAnsi(dir.strPath.c_str());
        CString strDocs = WideToAnsi(dir.strDefaultDocs.c_str());
        m_out.Line(FormatText(IDS_P_VDIR, DirKey(), strKeyType));
        m_out.Line(FormatText(IDS_P_FOLDER, strPath));
        m_out.Line(FormatText(IDS_P_ACCESS, AccessNames(dir.dwAccessFlags)));
        m_out.Line(FormatText(IDS_P_DEFAULT_DOCS, strDocs));
        m_json.Key("keyType").String(strKeyType).Key("folder").String(strPath).Key("accessFlags").Number(dir.dwAccessFlags).Key("access").String(AccessNames(dir.dwAccessFlags)).Key("defaultDocuments").String(strDocs);
    }
    else
    {
        m_out.Line(FormatText(IDS_P_NO_VDIR, DirKey()));
    }
    m_json.EndObject();

    BOOL bComplete = publication.IsComplete();
    m_json.Key("files").BeginArray();
    for (size_t i = 0; i + 1 < publication.files.size(); ++i)
    {
        TellFile(publication.files[i]);
        m_json.BeginObject();
        WriteFileMembers(publication.files[i]);
        m_json.EndObject();
    }
    m_json.EndArray();
    if (!publication.files.empty())
    {
        const PublishedFile& package = publication.files.back();
        TellFile(package);
        m_json.Key("package").BeginObject();
        WriteFileMembers(package);
        m_json.Key("besideProgram").String(strReference.IsEmpty() ? nullptr : strReference.GetString());
        if (!strReference.IsEmpty())
        {
            FileDigest reference = DigestFile(strReference);
            BOOL bSame = reference.bPresent && package.digest.bPresent && reference.cbSize == package.digest.cbSize &&
                         reference.strSha256 == package.digest.strSha256;
            m_out.Line(FormatText(bSame ? IDS_P_PACKAGE_SAME : IDS_P_PACKAGE_DIFFERS, strReference));
            m_json.Key("sameAsBesideProgram").Bool(bSame);
            bComplete = bComplete && bSame;
        }
        m_json.EndObject();
    }
    m_out.Line(FormatText(IDS_P_ADDRESS, m_pSite->strAddress));
    m_out.Line(LoadText(bComplete ? IDS_P_COMPLETE : IDS_P_INCOMPLETE));
    m_json.Key("complete").Bool(bComplete);
    return bComplete ? EXIT_DONE : EXIT_RUN_FAILED;
}

int CVerbRun::Remove()
{
    // Removing reads no file: where each one is and whether it lies inside the folder is enough.
    Publication publication = InspectPublication(m_pSite->nSite, m_strListFile, FALSE);
    m_json.Key("virtualDirectory").BeginObject().Key("key").String(DirKey()).Key("existed").Bool(publication.hrDir == S_OK).EndObject();
    if (publication.hrDir == HR_PATH_NOT_FOUND)
    {
        m_out.Line(FormatText(IDS_P_NO_VDIR, DirKey()));
        return EXIT_DONE;
    }
    if (FAILED(publication.hrDir))
        return MetabaseFailure(publication.hrDir);
    // The key's type is checked where it is deleted, under the same write open.
    HRESULT hr = DeleteWebVirtualDir(m_pSite->nSite, VIRTUAL_DIR_NAME);
    if (hr == HR_NOT_VIRTUAL_DIR)
        return Fail(EXIT_REFUSED, FormatText(IDS_P_NOT_VDIR, DirKey(), WideToAnsi(publication.dir.strKeyType.c_str())));
    if (FAILED(hr))
        return MetabaseFailure(hr);
    m_out.Line(FormatText(IDS_P_VDIR_DELETED, DirKey()));
    m_json.Key("folder").String(publication.strFolder).Key("filesKept").Bool(m_options.bKeepFiles);
    if (m_options.bKeepFiles)
    {
        m_out.Line(FormatText(IDS_P_FILES_KEPT, publication.strFolder));
        return EXIT_DONE;
    }

    CString strError;
    std::set<CString> folders;
    m_json.Key("deleted").BeginArray();
    for (const PublishedFile& file : publication.files)
    {
        DWORD dwAttributes = ::GetFileAttributesA(file.strPath);
        if (!file.bInside || dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (dwAttributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesA(file.strPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (!::DeleteFileA(file.strPath))
        {
            CString strText = FormatText(IDS_P_CANNOT_DELETE, file.strPath, SystemErrorText(::GetLastError()).TrimRight());
            m_out.Error(strText);
            if (strError.IsEmpty())
                strError = strText;
            continue;
        }
        m_out.Line(FormatText(IDS_P_FILE_DELETED, file.strPath));
        m_json.String(file.strPath);
        AddFoldersDownTo(file.strPath, publication.strFolder, folders);
    }
    m_json.EndArray();

    // Deepest first, so that a folder emptied by the removal of the one below it goes too; a folder that
    // holds anything else stays, since only an empty folder can be removed.
    m_json.Key("removedFolders").BeginArray();
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        if (::RemoveDirectoryA(*it))
        {
            m_out.Line(FormatText(IDS_P_FOLDER_REMOVED, *it));
            m_json.String(*it);
        }
    m_json.EndArray();
    if (strError.IsEmpty())
        return EXIT_DONE;
    m_json.Key("error").String(strError);
    return EXIT_RUN_FAILED;
}

}   // namespace

int RunVerb(const PublishOptions& options, CConsoleOutput& out, CJsonWriter& json)
{
    json.Key("verb").String(options.verb == VERB_SITES     ? "sites"
                            : options.verb == VERB_PUBLISH ? "publish"
                            : options.verb == VERB_STATUS  ? "status"
                                                           : "remove");
    return CVerbRun(options, out, json).Run();
}
