#include "Options.h"

#include "PublishResource.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace {

const struct
{
    const char* pszName;
    PublishVerb verb;
} kVerbs[] = {
    { "sites", VERB_SITES },
    { "publish", VERB_PUBLISH },
    { "status", VERB_STATUS },
    { "remove", VERB_REMOVE },
};

const UINT kSiteVerbs = VERB_PUBLISH | VERB_STATUS | VERB_REMOVE;
const UINT kAllVerbs = VERB_SITES | kSiteVerbs;

const struct
{
    const char* pszName;
    UINT nVerbs;   // the verbs that take it
    BOOL bTakesValue;
} kOptions[] = {
    { "--site", kSiteVerbs, TRUE },
    { "--site-name", kSiteVerbs, TRUE },
    { "--folder", VERB_PUBLISH, TRUE },
    { "--package", VERB_PUBLISH | VERB_STATUS, TRUE },
    { "--list", kSiteVerbs, TRUE },
    { "--if-exists", VERB_PUBLISH, TRUE },
    { "--keep-files", VERB_REMOVE, FALSE },
    { "--json", kAllVerbs, FALSE },
    { "--help", kAllVerbs, FALSE },
};

template <typename... Args>
UINT Fault(CString& strError, UINT nID, const Args&... args)
{
    strError.Format(nID, args...);
    return nID;
}

// A site number as the list shows it: decimal digits only, from 1, short enough for an int.
int ParseSiteNumber(const CString& strText)
{
    if (strText.IsEmpty() || strText.GetLength() > 9)
        return 0;
    int nSite = 0;
    for (const char* p = strText; *p; ++p)
    {
        if (*p < '0' || *p > '9')
            return 0;
        nSite = nSite * 10 + (*p - '0');
    }
    return nSite;
}

}   // namespace

UINT ParseOptions(const std::vector<CString>& args, PublishOptions& options, CString& strError)
{
    for (const CString& strArg : args)
        if (strArg == "--help" || strArg == "-h" || strArg == "/?")
        {
            options.bHelp = TRUE;
            return 0;
        }
    if (args.empty() || (!args[0].IsEmpty() && args[0].GetAt(0) == '-'))
        return Fault(strError, IDS_P_NO_VERB);

    const CString& strVerb = args[0];
    auto verb = std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const auto& v) { return strVerb == v.pszName; });
    if (verb == std::end(kVerbs))
        return Fault(strError, IDS_P_UNKNOWN_VERB, strVerb);
    options.verb = verb->verb;

    std::map<CString, CString> given;
    for (size_t i = 1; i < args.size(); ++i)
    {
        const CString& strName = args[i];
        auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                   [&](const auto& o) { return strName == o.pszName && (o.nVerbs & options.verb); });
        if (option == std::end(kOptions))
            return Fault(strError, IDS_P_UNKNOWN_OPTION, strName, strVerb);
        if (given.count(strName))
            return Fault(strError, IDS_P_TWICE, strName);
        CString strValue;
        if (option->bTakesValue)
        {
            // An option where the value should be means the value was left out.
            if (++i == args.size() || std::any_of(std::begin(kOptions), std::end(kOptions),
                                                  [&](const auto& o) { return args[i] == o.pszName; }))
                return Fault(strError, IDS_P_MISSING_VALUE, strName);
            strValue = args[i];
        }
        given[strName] = strValue;
    }

    auto text = [&](const char* pszName, OptionText& option) {
        auto it = given.find(pszName);
        option.bGiven = it != given.end();
        if (option.bGiven)
            option.str = it->second;
    };
    text("--site-name", options.siteName);
    text("--folder", options.folder);
    text("--package", options.package);
    text("--list", options.list);
    options.bKeepFiles = given.count("--keep-files") != 0;
    if (given.count("--site"))
    {
        if (options.siteName.bGiven)
            return Fault(strError, IDS_P_SITE_AND_NAME);
        options.nSite = ParseSiteNumber(given["--site"]);
        if (options.nSite <= 0)
            return Fault(strError, IDS_P_BAD_SITE_NUMBER, given["--site"]);
    }
    if (given.count("--if-exists"))
    {
        const CString& strIfExists = given["--if-exists"];
        if (strIfExists != "keep" && strIfExists != "fail")
            return Fault(strError, IDS_P_BAD_IF_EXISTS, strIfExists);
        options.bKeepExisting = strIfExists == "keep";
    }
    return 0;
}
