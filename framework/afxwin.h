// The application framework: the small part of the MFC class library that this program uses, with MFC's
// names and signatures, so that the program reads as an MFC program. Multibyte (ANSI) build only.
//
// Window objects and window handles. A CWnd is attached to its window by a window property and gets the
// window's messages through AfxWndProc, which subclasses the window. Windows created through the framework
// (CWnd::CreateEx, CDialog::DoModal) are subclassed by a per-thread creation hook before their first message,
// so a derived class sees its own WM_CREATE; template controls are subclassed by DDX_Control. The object is
// detached at WM_NCDESTROY, after the window's last message, and PostNcDestroy follows.
//
// Message maps are typed static tables, one per class with a pointer to the base class's table; dispatch
// walks the chain from the most derived class. Each entry carries a thunk that cracks wParam/lParam into
// the handler's arguments, so a handler with the wrong signature does not compile.
#pragma once

#ifndef STRICT
#define STRICT
#endif
#include <windows.h>
#include <windowsx.h>
#undef SubclassWindow   // windowsx.h has a macro of that name; CWnd has the member
#include <commctrl.h>

#include "afxgdi.h"
#include "afxstr.h"

class CCmdTarget;
class CWinApp;
class CDataExchange;

// ---------------------------------------------------------------------------------------------------------
// Message maps

typedef BOOL (*AFX_PMSG)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;   // window message; WM_COMMAND for command entries; 0 ends the table
    UINT nCode;      // notification code of a WM_COMMAND entry (0 for a plain command or a click)
    UINT nID;        // first control or command id of a WM_COMMAND entry
    UINT nLastID;    // last id of the range
    AFX_PMSG pfn;    // thunk: calls the handler; FALSE lets the message go on to default processing
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Reflected messages reach the child control's map under these numbers.
#define WM_REFLECT_BASE 0xBC00
#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif
#define ID_HELP 0xE146
#define AFX_IDS_APP_TITLE 0xE000

#define afx_msg

// The message-map macros are laid out as the tables they build, by hand.
// clang-format off
#define DECLARE_MESSAGE_MAP()                                                                         \
protected:                                                                                            \
    static const AFX_MSGMAP* GetThisMessageMap();                                                     \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }                 \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                   \
    {                                                                                                 \
        using ThisClass [[maybe_unused]] = theClass;                                                  \
        using TheBaseClass = baseClass;                                                               \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                             \
            { 0, 0, 0, 0, nullptr } };                                                                \
        static const AFX_MSGMAP messageMap = { &TheBaseClass::GetThisMessageMap, &_messageEntries[0] }; \
        return &messageMap;                                                                           \
    }

#define AFX_THUNK(body) [](CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam, LRESULT* pResult) -> BOOL { \
        ThisClass* pThis = static_cast<ThisClass*>(pTarget); (void)pThis; (void)wParam; (void)lParam;   \
        (void)pResult; body }

// A command or control notification: void memberFxn()
#define ON_CONTROL(wNotifyCode, id, memberFxn)                                                        \
    { WM_COMMAND, static_cast<UINT>(wNotifyCode), static_cast<UINT>(id), static_cast<UINT>(id),        \
      AFX_THUNK((pThis->*static_cast<void (ThisClass::*)()>(memberFxn))(); return TRUE;) },
#define ON_COMMAND(id, memberFxn)        ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn)     ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn)  ON_CONTROL(CBN_SELCHANGE, id, memberFxn)

// A user-defined message: LRESULT memberFxn(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn)                                                                \
    { static_cast<UINT>(message), 0, 0, 0,                                                            \
      AFX_THUNK(*pResult = (pThis->*static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(memberFxn))(wParam, lParam); \
                return TRUE;) },

#define ON_WM_CREATE()                                                                                \
    { WM_CREATE, 0, 0, 0,                                                                             \
      AFX_THUNK(*pResult = pThis->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam)); return TRUE;) },
#define ON_WM_PAINT()                                                                                 \
    { WM_PAINT, 0, 0, 0, AFX_THUNK(pThis->OnPaint(); return TRUE;) },
#define ON_WM_SYSCOMMAND()                                                                            \
    { WM_SYSCOMMAND, 0, 0, 0, AFX_THUNK(pThis->OnSysCommand(static_cast<UINT>(wParam), lParam); return TRUE;) },
#define ON_WM_QUERYDRAGICON()                                                                         \
    { WM_QUERYDRAGICON, 0, 0, 0,                                                                      \
      AFX_THUNK(*pResult = reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon()); return TRUE;) },
#define ON_WM_HELPINFO()                                                                              \
    { WM_HELP, 0, 0, 0,                                                                               \
      AFX_THUNK(*pResult = pThis->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam)); return TRUE;) },
#define ON_WM_MOUSEMOVE()                                                                             \
    { WM_MOUSEMOVE, 0, 0, 0,                                                                          \
      AFX_THUNK(pThis->OnMouseMove(static_cast<UINT>(wParam), CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))); \
                return TRUE;) },
#define ON_WM_LBUTTONDBLCLK()                                                                         \
    { WM_LBUTTONDBLCLK, 0, 0, 0,                                                                      \
      AFX_THUNK(pThis->OnLButtonDblClk(static_cast<UINT>(wParam), CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))); \
                return TRUE;) },
// The parent's WM_CTLCOLOR*, reflected to the control: HBRUSH CtlColor(CDC*, UINT nCtlColor). A null brush
// hands the message back to the parent's default processing.
#define ON_WM_CTLCOLOR_REFLECT()                                                                      \
    { WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, 0,                                                         \
      AFX_THUNK(HBRUSH hbr = pThis->CtlColor(reinterpret_cast<CDC*>(wParam), static_cast<UINT>(lParam)); \
                *pResult = reinterpret_cast<LRESULT>(hbr); return hbr != nullptr;) },
// clang-format on

// ---------------------------------------------------------------------------------------------------------
// Small value types

class CPoint : public POINT
{
public:
    CPoint()
    {
        x = 0;
        y = 0;
    }
    CPoint(int initX, int initY)
    {
        x = initX;
        y = initY;
    }
};

class CRect : public RECT
{
public:
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b)
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    CRect(const RECT& rc) { ::CopyRect(this, &rc); }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void OffsetRect(int x, int y) { ::OffsetRect(this, x, y); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

// ---------------------------------------------------------------------------------------------------------
// Command targets and windows

class CCmdTarget
{
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Routes a command (WM_COMMAND id and notification code) through this object's message map.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // The first entry of the map chain that takes this message (and, for WM_COMMAND, code and id).
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;
};

class CWnd : public CCmdTarget
{
public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to the window, or a temporary one owned by the framework for this thread.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);

    BOOL Attach(HWND hWndNew);
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);

    virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, void* pContext = nullptr);
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, LPVOID lpParam = nullptr);
    virtual BOOL DestroyWindow();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    void SetWindowText(LPCSTR lpszString);
    int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;
    void GetWindowText(CString& rString) const;
    int GetWindowTextLength() const;
    CWnd* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, LPCSTR lpszString);
    int GetDlgItemText(int nID, CString& rString) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;

    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    CWnd* SetFocus();
    BOOL ShowWindow(int nCmdShow);
    BOOL IsIconic() const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    CMenu* GetSystemMenu(BOOL bRevert) const;

    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    void ScreenToClient(LPPOINT lpPoint) const;
    void ScreenToClient(LPRECT lpRect) const;
    void ClientToScreen(LPPOINT lpPoint) const;

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The window procedure of every framework window ends here.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled.
    LRESULT Default();

protected:
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A message the parent reflects to this control (WM_CTLCOLOR*); TRUE when the control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void PreSubclassWindow();
    virtual void PostNcDestroy();

    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnPaint();
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);

    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

    WNDPROC m_pfnSuper = nullptr;   // the window's own procedure, called for default processing

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK AfxCbtFilterHook(int, WPARAM, LPARAM);
    friend class CDialog;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

// Windows created on this thread after this call are subclassed, the first one attached to pWnd.
void AfxHookWindowCreate(CWnd* pWnd);
// Ends the hook; FALSE when no window was created for the pending object.
BOOL AfxUnhookWindowCreate();

// ---------------------------------------------------------------------------------------------------------
// Dialogs and data exchange

class CDataExchange
{
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd
{
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    explicit CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);

    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult);

    BOOL OnCmdMsg(UINT nID, int nCode) override;

protected:
    virtual void OnOK();
    virtual void OnCancel();

    LPCSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
};

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------------------------
// Controls

class CEdit : public CWnd
{
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
    void ReplaceSel(LPCSTR lpszNewText, BOOL bCanUndo = FALSE);
    void SetLimitText(UINT nMax);
    UINT GetLimitText() const;
};

// ---------------------------------------------------------------------------------------------------------
// The application

class CWinApp : public CCmdTarget
{
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    HINSTANCE m_hInstance = nullptr;
    LPCSTR m_pszAppName = nullptr;   // message-box caption
    LPCSTR m_pszExeName = nullptr;   // executable name without extension
    CWnd* m_pMainWnd = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();
    virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);

    // Kept for old programs: three-dimensional controls are what the system draws anyway.
    BOOL Enable3dControls() { return TRUE; }

    afx_msg void OnHelp();

    // Sets the handles and names the framework derives from the module; called by the program entry.
    void SetCurrentHandles(HINSTANCE hInstance);

private:
    CString m_strAppName;
    CString m_strExeName;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);
void AfxEnableControlContainer();

int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));

// The program entry's work: start-up of the one application object, InitInstance, Run or ExitInstance.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
