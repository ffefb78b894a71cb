#include "ConsoleEvents.h"

#include "MetabaseErrors.h"
#include "PublishResource.h"

void CConsoleEvents::LogLine(const char* pszLine)
{
    m_out.Line(pszLine);
    m_strLastLine = pszLine;
}

BOOL CConsoleEvents::AskYesNo(const char* pszQuestion, HRESULT hrCause)
{
    // Publishing again is harmless, so only an existing directory is gone on with, and only when asked;
    // any other failure (a busy metabase, denied access) stops the run as No does.
    m_out.Line(pszQuestion);
    BOOL bYes = m_bKeepExisting && hrCause == HR_ALREADY_EXISTS;
    CString strAnswer;
    strAnswer.LoadString(bYes ? IDS_P_ANSWER_YES : IDS_P_ANSWER_NO);
    m_out.Line(strAnswer);
    if (bYes)
    {
        m_bKeptExisting = TRUE;
        return TRUE;
    }
    // The question repeats the failure that the run logged just before it.
    m_hrDeclined = hrCause;
    m_strDeclined = m_strLastLine;
    return FALSE;
}

void CConsoleEvents::ShowVerdict(const char* pszText, UINT nType)
{
    // The text is the run's last line, already written: only what it says is kept. The verdict of a run
    // without failures is the one shown with the information icon.
    m_strVerdict = pszText;
    m_bFinished = (nType & MB_ICONMASK) == MB_ICONINFORMATION;
}
