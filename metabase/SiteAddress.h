// The client address of a web site, worked out from the site's first binding ("address:port:host header").
#pragma once

#include <windows.h>

#include <afxstr.h>

// The computer's name as the site address uses it: at most 15 characters, empty when it cannot be read.
CString GetComputerNameText();

// Splits a binding into host, port and host header. An empty address means all addresses and gives the
// computer's name as host. Forms with fewer than two ':' keep the whole binding as host header, with an
// empty port (and, without any ':', an empty host). A null binding changes nothing.
void SplitServerBinding(const char* pszBinding, CString& strHost, CString& strPort, CString& strHostHeader);

// "http://name[:port]/Zem/": the host header names the site when there is one, else the host; port 80 is
// left out, any other port text is shown as it stands.
CString FormatSiteUrl(const CString& strHost, const CString& strPort, const CString& strHostHeader);
