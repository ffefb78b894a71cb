#include "afxwin.h"

#include <mbctype.h>
#include <mbstring.h>

namespace {

CWinApp* g_pApp = nullptr;

// The executable's file name without folder and extension.
CString ModuleStem(HINSTANCE hInstance)
{
    char szPath[MAX_PATH + 1] = {};
    DWORD cch = ::GetModuleFileNameA(hInstance, szPath, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return CString();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(szPath);
    const unsigned char* pSlash = _mbsrchr(p, '\\');
    CString strName(reinterpret_cast<const char*>(pSlash ? pSlash + 1 : p));
    const unsigned char* pName = reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(strName));
    const unsigned char* pDot = _mbsrchr(pName, '.');
    return pDot ? strName.Left(static_cast<int>(pDot - pName)) : strName;
}

// Without an owner given, a message box belongs to the main window, wherever it is called from.
HWND MessageBoxOwner()
{
    CWnd* pMainWnd = AfxGetMainWnd();
    if (!pMainWnd || !::IsWindow(pMainWnd->m_hWnd))
        return nullptr;
    return ::GetAncestor(pMainWnd->m_hWnd, GA_ROOT);
}

int ShowAppMessageBox(LPCSTR lpszPrompt, UINT nType, LPCSTR lpszCaption)
{
    // A type without an icon gets the framework's usual one.
    if ((nType & MB_ICONMASK) == 0)
    {
        switch (nType & MB_TYPEMASK)
        {
        case MB_OK:
        case MB_OKCANCEL:
            nType |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            nType |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    return ::MessageBoxA(MessageBoxOwner(), lpszPrompt ? lpszPrompt : "", lpszCaption, nType);
}

}   // namespace

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    if (lpszAppName)
    {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName;
    }
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

void CWinApp::SetCurrentHandles(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    m_strExeName = ModuleStem(hInstance);
    m_pszExeName = m_strExeName;
    if (!m_pszAppName)
    {
        // The application title resource when there is one, otherwise the executable's name.
        if (!m_strAppName.LoadString(AFX_IDS_APP_TITLE))
            m_strAppName = m_strExeName;
        m_pszAppName = m_strAppName;
    }
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    ExitInstance();
    return static_cast<int>(msg.wParam);
}

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT)
{
    return ShowAppMessageBox(lpszPrompt, nType, m_pszAppName);
}

void CWinApp::OnHelp()
{
    // There is no help file: the window in front gets the request and may answer it itself.
    if (HWND hWndActive = ::GetActiveWindow())
        ::SendMessageA(hWndActive, 0x0365 /* WM_COMMANDHELP */, 0, 0);
}

CWinApp* AfxGetApp() { return g_pApp; }
CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR)
{
    // All resources live in the executable: there are no satellite resource modules to search.
    return AfxGetResourceHandle();
}

// With the resource handles, not with the rest of CString: the text comes from the module the
// application's resources are in.
BOOL CString::LoadString(UINT nID)
{
    // With a zero buffer size LoadStringW hands out the resource's own text and its length, so a
    // string of any length converts whole.
    const WCHAR* pwsz = nullptr;
    int cch = ::LoadStringW(AfxFindResourceHandle(MAKEINTRESOURCEA((nID >> 4) + 1), RT_STRING), nID,
                            reinterpret_cast<LPWSTR>(&pwsz), 0);
    m_str.clear();
    if (cch <= 0 || !pwsz)
        return FALSE;
    // No look-alikes: a character the code page lacks shows as the default character, as in every
    // other conversion of the program (a UTF-8 code page takes no flags and loses nothing).
    const DWORD dwFlags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int cb = ::WideCharToMultiByte(CP_ACP, dwFlags, pwsz, cch, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return FALSE;
    m_str.resize(static_cast<size_t>(cb));
    ::WideCharToMultiByte(CP_ACP, dwFlags, pwsz, cch, &m_str[0], cb, nullptr, nullptr);
    return TRUE;
}

void AfxEnableControlContainer()
{
    // The dialogs here host only system controls, never ActiveX controls, so there is no control
    // container to set up; start-up calls this as every dialog program of the framework does.
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp)
{
    if (CWinApp* pApp = AfxGetApp())
        return pApp->DoMessageBox(lpszText, nType, nIDHelp);
    return ShowAppMessageBox(lpszText, nType, nullptr);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString strPrompt;
    strPrompt.LoadString(nIDPrompt);
    if (nIDHelp == static_cast<UINT>(-1))
        nIDHelp = nIDPrompt;
    return AfxMessageBox(strPrompt, nType, nIDHelp);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow)
{
    // Multibyte run-time routines (_mbsrchr, _mbscmp, ...) follow the system ANSI code page.
    _setmbcp(_MB_CP_ANSI);
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return -1;
    pApp->SetCurrentHandles(hInstance);
    pApp->m_nCmdShow = nCmdShow;
    if (!pApp->InitInstance())
    {
        if (pApp->m_pMainWnd && ::IsWindow(pApp->m_pMainWnd->m_hWnd))
            pApp->m_pMainWnd->DestroyWindow();
        return pApp->ExitInstance();
    }
    return pApp->Run();
}
