// The list file beside the executable: section "FileList", "FilesCount" and one "File%d" key per entry,
// each "source part[,destination part]". Read only through the platform's profile functions.
#pragma once

#include <afxwin.h>

#include <vector>

// A real list names a few dozen files; a larger count is a mistake in the file (a negative number reads
// as four thousand million) and would keep the worker reading missing keys for hours.
const UINT MAX_LIST_ENTRIES = 1000;

// Longest value taken from an entry, in bytes; a longer one is cut there.
const int LIST_ENTRY_MAX = 519;

// FilesCount as the profile reader delivers it, taken as unsigned; 0 without file, section or key.
UINT ReadFilesCount(LPCSTR pszListFile);
// The count the worker goes through: at most MAX_LIST_ENTRIES.
UINT BoundFilesCount(UINT nCount);

// Value of entry nEntry (1-based); the empty text when the key is missing.
CString ReadListEntry(LPCSTR pszListFile, UINT nEntry);

// Values of entries 1 to nCount, each exactly as ReadListEntry gives it, from one reading of the section.
// Both reads stay: each single read opens and parses the whole file again, so a long list read key by
// key costs its length squared, while the meaning of a value (quotation marks, cuts, the case of keys)
// is the profile reader's own and is not written again here. So the section is read once, and every value
// the single read might treat differently is taken from the single read after all. A test compares the
// two on hostile files.
std::vector<CString> ReadListEntries(LPCSTR pszListFile, UINT nCount);

// Splits at the first comma; nothing around the comma is trimmed. Without a comma the whole value is
// the source part and the destination part is empty.
void SplitListEntry(const CString& strValue, CString& strSource, CString& strDest);

// Where an entry with a source part is copied from and to.
struct ListEntryPaths
{
    CString strSource;       // the executable's folder and the source part
    CString strDestFolder;   // the target folder, and the destination part with a backslash when there is one
    CString strDest;         // the destination folder and the source part's file name: folders inside the
                             // source part are not reproduced
    BOOL bContained;         // whether both parts stay below the folders they are appended to
};
// strModuleDir and strTarget end with a backslash.
ListEntryPaths ListEntryPathsOf(const CString& strValue, const CString& strModuleDir, const CString& strTarget);

// Whether a part of an entry stays below the folder it is appended to: not absolute (no leading
// separator, no drive or stream colon) and no ".." component. Slashes count as separators, as the file
// system takes them.
BOOL IsContainedRelativePath(LPCSTR pszPart);

// Position of the progress bar after entry nEntry of nCount: 5 + (50 * nEntry) / nCount, unsigned.
UINT EntryProgress(UINT nEntry, UINT nCount);
