#include "SiteAddress.h"

#include "MbcsPath.h"

CString GetComputerNameText()
{
    char szName[16] = {};
    DWORD cb = sizeof(szName);
    if (!::GetComputerNameA(szName, &cb))
        return CString();
    return CString(szName);
}

void SplitServerBinding(const char* pszBinding, CString& strHost, CString& strPort, CString& strHostHeader)
{
    if (!pszBinding)
        return;
    const char* pFirst = FindCharMbcs(pszBinding, ':');
    const char* pSecond = pFirst ? FindCharMbcs(pFirst + 1, ':') : nullptr;
    if (!pFirst)
        strHost.Empty();
    else if (pFirst == pszBinding)
        strHost = GetComputerNameText();
    else
        strHost = CString(pszBinding, static_cast<int>(pFirst - pszBinding));
    if (!pSecond)
    {
        strPort.Empty();
        strHostHeader = pszBinding;
        return;
    }
    strPort = CString(pFirst + 1, static_cast<int>(pSecond - pFirst - 1));
    strHostHeader = pSecond + 1;
}

CString FormatSiteUrl(const CString& strHost, const CString& strPort, const CString& strHostHeader)
{
    CString strName = strHostHeader.IsEmpty() ? strHost : strHostHeader;
    if (strPort != "80")
        strName += ":" + strPort;
    CString strUrl;
    strUrl.Format("http://%s/Zem/", strName.GetString());
    return strUrl;
}
