// ZemPublish's command line: a verb and its options.
#pragma once

#include <afxstr.h>

#include <vector>

enum PublishVerb {
    VERB_SITES = 1,
    VERB_PUBLISH = 2,
    VERB_STATUS = 4,
    VERB_REMOVE = 8,
};

// A text option: whether it was given, and its text (which may be empty when given).
struct OptionText
{
    BOOL bGiven = FALSE;
    CString str;
};

struct PublishOptions
{
    PublishVerb verb = VERB_SITES;
    int nSite = 0;   // 0: not given
    OptionText siteName;
    OptionText folder;
    OptionText package;
    OptionText list;
    BOOL bKeepExisting = TRUE;   // --if-exists keep
    BOOL bKeepFiles = FALSE;
    BOOL bJson = FALSE;   // set by the caller, who looks for it before anything can be refused
    BOOL bHelp = FALSE;
};

// Reads the arguments after the program's name. Returns 0, or the catalogue string of the first fault,
// with strError filled in.
UINT ParseOptions(const std::vector<CString>& args, PublishOptions& options, CString& strError);
