#include "Console.h"

#include "Text.h"
#include "UniqueHandle.h"

#include <atomic>

namespace {

std::string WideToCodePage(const std::wstring& strText, UINT nCodePage)
{
    int cb = ::WideCharToMultiByte(nCodePage, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0, nullptr,
                                   nullptr);
    if (cb <= 0)
        return std::string();
    std::string bytes(static_cast<size_t>(cb), '\0');
    ::WideCharToMultiByte(nCodePage, 0, strText.c_str(), static_cast<int>(strText.size()), &bytes[0], cb, nullptr, nullptr);
    return bytes;
}

void WriteWide(DWORD dwStdHandle, const std::wstring& strText, UINT nRedirectedCodePage)
{
    HANDLE hOut = ::GetStdHandle(dwStdHandle);
    if (!hOut || hOut == INVALID_HANDLE_VALUE)
        return;
    DWORD dwMode = 0, dwWritten = 0;
    if (::GetConsoleMode(hOut, &dwMode))
    {
        ::WriteConsoleW(hOut, strText.c_str(), static_cast<DWORD>(strText.size()), &dwWritten, nullptr);
        return;
    }
    std::string bytes = WideToCodePage(strText, nRedirectedCodePage);
    ::WriteFile(hOut, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr);
}

// Every line ends in CR LF, and so does every line inside a catalogue text that spans several.
std::wstring ConsoleLines(const CString& strText)
{
    std::wstring strWide = AnsiToWide(strText);
    std::wstring strOut;
    for (wchar_t ch : strWide)
    {
        if (ch == L'\n' && (strOut.empty() || strOut.back() != L'\r'))
            strOut += L'\r';
        strOut += ch;
    }
    return strOut + L"\r\n";
}

std::atomic<BOOL> g_bStop{ FALSE };
KernelHandle g_runEnded;

BOOL WINAPI OnConsoleControl(DWORD dwType)
{
    g_bStop = TRUE;
    if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT && g_runEnded)
        ::WaitForSingleObject(g_runEnded.Get(), 4000);
    return TRUE;
}

}   // namespace

void CConsoleOutput::Line(const CString& strLine)
{
    m_lines.push_back(strLine);
    Write(m_bJson ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, strLine);
}

void CConsoleOutput::Error(const CString& strLine)
{
    m_lines.push_back(strLine);
    Write(STD_ERROR_HANDLE, strLine);
}

void CConsoleOutput::Help(const CString& strText)
{
    Write(STD_OUTPUT_HANDLE, strText);
}

void CConsoleOutput::Document(const std::wstring& strJson)
{
    WriteWide(STD_OUTPUT_HANDLE, strJson + L"\r\n", CP_UTF8);
}

void CConsoleOutput::Write(DWORD dwStdHandle, const CString& strText)
{
    UINT nCodePage = ::GetConsoleOutputCP();
    WriteWide(dwStdHandle, ConsoleLines(strText), nCodePage ? nCodePage : CP_ACP);
}

void InstallConsoleStop()
{
    g_runEnded.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

BOOL IsConsoleStopRequested()
{
    return g_bStop.load();
}

void ConsoleRunEnded()
{
    if (g_runEnded)
        ::SetEvent(g_runEnded.Get());
}
