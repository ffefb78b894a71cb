// The console side of ZemPublish: where its lines and its JSON document go, and the stop that Ctrl+C
// and the console's close ask for.
#pragma once

#include <windows.h>

#include <afxstr.h>

#include <string>
#include <vector>

// The program's lines, in the user's ANSI code page as every catalogue text is. A console shows them in
// UTF-16 (WriteConsoleW), so they read right whatever the console's code page; a pipe or a file gets them
// in the console's output code page, which cmd and PowerShell decode a program's output with (the ANSI
// code page when there is no console). The JSON document goes out in UTF-8 when redirected.
class CConsoleOutput
{
public:
    // With bJson every line goes to standard error, and standard output carries the document alone.
    explicit CConsoleOutput(BOOL bJson) : m_bJson(bJson) {}

    // A line of the program's work: standard output, or standard error with --json.
    void Line(const CString& strLine);
    // A refusal or failure: always standard error.
    void Error(const CString& strLine);
    // Everything written so far, in order: the document's "lines".
    const std::vector<CString>& Lines() const { return m_lines; }

    // The help text, on standard output.
    void Help(const CString& strText);
    // The JSON document, on standard output.
    void Document(const std::wstring& strJson);

private:
    void Write(DWORD dwStdHandle, const CString& strText);

    BOOL m_bJson;
    std::vector<CString> m_lines;
};

// Once installed, Ctrl+C, Ctrl+Break and the console's close set the stop, which a run looks at between
// files. A close ends the process once the handler returns, so the handler waits for ConsoleRunEnded, up
// to a few seconds.
void InstallConsoleStop();
BOOL IsConsoleStopRequested();
void ConsoleRunEnded();
