// ZemPublish: the dialog's Install, and a look at what a site publishes and its removal, for scripts and
// for many servers. It asks nothing and opens no window; its exit status says how it went.
#include "Console.h"
#include "Json.h"
#include "Options.h"
#include "PublishResource.h"
#include "Text.h"
#include "Verbs.h"

#include <mbctype.h>

namespace {

// The arguments in the ANSI code page, as every text of the program; an argument the code page cannot
// spell is refused rather than taken for a look-alike (a full-width backslash for a folder's).
BOOL AnsiArguments(int argc, wchar_t** argv, std::vector<CString>& args, CString& strInexact)
{
    for (int i = 1; i < argc; ++i)
    {
        bool bExact = true;
        args.push_back(WideToAnsi(argv[i], &bExact));
        if (!bExact)
        {
            strInexact = args.back();
            return FALSE;
        }
    }
    return TRUE;
}

}   // namespace

int wmain(int argc, wchar_t** argv)
{
    // As the dialog: the multibyte routines follow the ANSI code page, and no drive without a disk ever
    // asks anyone anything.
    _setmbcp(_MB_CP_ANSI);
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    std::vector<CString> args;
    CString strInexact;
    BOOL bExact = AnsiArguments(argc, argv, args, strInexact);
    PublishOptions options;
    for (const CString& strArg : args)
        options.bJson = options.bJson || strArg == "--json";
    CConsoleOutput out(options.bJson);
    CJsonWriter json;
    json.BeginObject();

    CString strError;
    UINT nFault = bExact ? ParseOptions(args, options, strError) : IDS_P_NOT_IN_CODE_PAGE;
    if (!bExact)
        strError.Format(IDS_P_NOT_IN_CODE_PAGE, strInexact);
    int nStatus = EXIT_REFUSED;
    if (nFault == 0 && options.bHelp)
    {
        CString strUsage;
        strUsage.LoadString(IDS_P_USAGE);
        out.Help(strUsage);
        return EXIT_DONE;
    }
    if (nFault != 0)
    {
        out.Error(strError);
        json.Key("error").String(strError);
    }
    else
    {
        nStatus = RunVerb(options, out, json);
    }

    if (options.bJson)
    {
        json.Key("exitStatus").Number(nStatus).Key("lines").BeginArray();
        for (const CString& strLine : out.Lines())
            json.String(strLine);
        out.Document(json.EndArray().EndObject().Text());
    }
    return nStatus;
}
