// The driver's self-test target: behaves like the real program where the driver has to cope with it, and
// writes what happened to it into its log pane so that the test can tell one click from two.
#include <windows.h>

#include <cstdio>

#include "zemprobe.h"

namespace {

void AppendLog(HWND dialog, const wchar_t* line)
{
    HWND log = GetDlgItem(dialog, IDC_PROBE_LOG);
    int end = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, end, end);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line));
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void ShowAbout(HWND owner)
{
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROBE_ABOUT), owner, AboutProc, 0);
}

void OnInit(HWND hwnd, LPARAM firstAnswer)
{
    wchar_t title[128] = L"\u63A2\u9488 Probe";   // non-Latin on purpose: the driver reads text as UTF-16
    GetEnvironmentVariableW(L"ZEM_PROBE_TITLE", title, 128);
    SetWindowTextW(hwnd, title);

    HWND list = GetDlgItem(hwnd, IDC_PROBE_LIST);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"alpha"));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"\u03B2\u6D4B\u8BD5"));
    SendMessageW(list, CB_SETCURSEL, 0, 0);

    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    SetDlgItemTextW(hwnd, IDC_PROBE_FOLDER, folder);

    HMENU menu = GetSystemMenu(hwnd, FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_PROBE_ABOUT, L"About ZemProbe...");

    wchar_t line[64];
    swprintf(line, 64, L"answer=%d\r\n", static_cast<int>(firstAnswer));
    AppendLog(hwnd, line);
}

INT_PTR CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInit(hwnd, lParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_PROBE_ABOUT) {
            ShowAbout(hwnd);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        AppendLog(hwnd, L"help\r\n");
        ShowAbout(hwnd);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, IDCANCEL);
        } else if (HIWORD(wParam) == BN_CLICKED) {
            wchar_t line[32];
            swprintf(line, 32, L"click %d\r\n", LOWORD(wParam));
            AppendLog(hwnd, line);
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    int answer = MessageBoxW(nullptr, L"Probe line one\nProbe line two", L"ZemProbe",
                             MB_OKCANCEL | MB_ICONEXCLAMATION);
    MessageBoxW(nullptr, L"Second", L"ZemProbe", MB_OK);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROBE), nullptr, ProbeProc, answer);
    return PROBE_EXIT_CODE;
}
