// Drives the real modal property sheet: a stand-in clock window that routes the timer and the
// socket messages as the program's window does, and a thread timer that runs a test's script.
#include "sheet/sheet_harness.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <stdio.h>
#include "base/program.h"
#include "app/sync_machine.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "base/settings.h"
#include "sheet/property_sheet.h"
#include "sntp/exchange.h"

static std::function<void(HWND)> PendingScript;
static UINT_PTR ScriptTimer = 0;

static LRESULT CALLBACK TestClockProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        ClockWindow = window;
        return 0;
    case WM_TIMER:
        if (wParam == 1)
            TimerTick();
        return 0;
    case WM_HOST_RESOLVED:
        DispatchExchangeResult(OnHostResolved(wParam, lParam));
        return 0;
    case WM_SOCKET_NOTIFY:
        DispatchExchangeResult(OnSocketNotify(wParam, lParam));
        return 0;
    case WM_CTLCOLORSTATIC: {
        HBRUSH brush = ClockControlColor((HWND)lParam, (HDC)wParam);
        if (brush)
            return (LRESULT)brush;
        break;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void SetUpClock(const char *iniText)
{
    ProgramInstance = GetModuleHandleA(NULL);
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    snprintf(ProgramDirectory, sizeof ProgramDirectory, "%svm-sheet-%lu\\", folder,
             (unsigned long)GetCurrentProcessId());
    CreateDirectoryA(ProgramDirectory, NULL);
    snprintf(IniPath, sizeof IniPath, "%svellmarin.ini", ProgramDirectory);
    DeleteFileA(IniPath);
    if (iniText && *iniText) {
        FILE *file = fopen(IniPath, "wb");
        ASSERT_NE(nullptr, file);
        fputs(iniText, file);
        fclose(file);
    }
    LoadSettings();
    StartNetwork();

    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = TestClockProc;
        windowClass.hInstance = ProgramInstance;
        windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
        windowClass.lpszClassName = "VELLMARIN";
        RegisterClassExA(&windowClass);
        registered = true;
    }
    CreateWindowExA(0, "VELLMARIN", "vellmarin", WS_OVERLAPPEDWINDOW, 100, 100, 0, 0, NULL, NULL,
                    ProgramInstance, NULL);
    ASSERT_NE(nullptr, ClockWindow);
    BuildClockLayout();
    SetTimer(ClockWindow, 1, 250, NULL);
    ShowWindow(ClockWindow, SW_SHOWNOACTIVATE);
    GetWindowRect(ClockWindow, &CreationRect);
    EnterState(Idle);
}

void TearDownClock(void)
{
    if (ClockWindow) {
        KillTimer(ClockWindow, 1);
        TearDownClockLayout();
        DestroyWindow(ClockWindow);
        ClockWindow = NULL;
    }
    StopNetwork();
    DeleteFileA(IniPath);
    RemoveDirectoryA(ProgramDirectory);
}

static bool SheetStillOpen(HWND sheet)
{
    return IsWindow(sheet) && PropSheet_GetCurrentPageHwnd(sheet) != NULL;
}

static void CALLBACK ScriptTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    HWND sheet = PropertySheetWindow;
    if (!sheet || !IsWindowVisible(sheet))
        return;
    KillTimer(NULL, ScriptTimer);
    ScriptTimer = 0;
    std::function<void(HWND)> script;
    script.swap(PendingScript);
    if (script)
        script(sheet);
    if (SheetStillOpen(sheet))
        PressCancel(sheet);
}

void RunSheet(const std::function<void(HWND sheet)> &script)
{
    PendingScript = script;
    ScriptTimer = SetTimer(NULL, 0, 20, ScriptTimerProc);
    Dispatch(SettingsButton);
    if (ScriptTimer) {
        KillTimer(NULL, ScriptTimer);
        ScriptTimer = 0;
        ADD_FAILURE() << "the sheet closed before the script ran";
    }
    PendingScript = nullptr;
}

HWND ShowPage(HWND sheet, int index)
{
    PropSheet_SetCurSel(sheet, NULL, index);
    return PropSheet_GetCurrentPageHwnd(sheet);
}

void Click(HWND page, int id)
{
    SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0);
}

void SelectListEntry(HWND page, int id, int index)
{
    HWND list = GetDlgItem(page, id);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)list);
}

void TypeText(HWND page, int id, const char *text)
{
    HWND edit = GetDlgItem(page, id);
    SetFocus(edit);
    for (const char *c = text; *c; c++)
        SendMessageA(edit, WM_CHAR, (WPARAM)(unsigned char)*c, 1);
}

void SetText(HWND page, int id, const char *text)
{
    SetDlgItemTextA(page, id, text);
}

std::string Text(HWND page, int id)
{
    char text[2048] = {0};
    GetDlgItemTextA(page, id, text, sizeof text);
    return text;
}

int Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

void PressOk(HWND sheet)
{
    PropSheet_PressButton(sheet, PSBTN_OK);
}

void PressCancel(HWND sheet)
{
    PropSheet_PressButton(sheet, PSBTN_CANCEL);
}

bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::string IniString(const char *section, const char *key)
{
    char text[300] = {0};
    GetPrivateProfileStringA(section, key, "<missing>", text, sizeof text, IniPath);
    return text;
}

int IniInt(const char *section, const char *key, int fallback)
{
    return (int)GetPrivateProfileIntA(section, key, fallback, IniPath);
}

static std::string Entries(HWND control, UINT countMessage, UINT textMessage)
{
    std::string joined;
    int count = (int)SendMessageA(control, countMessage, 0, 0);
    for (int i = 0; i < count; i++) {
        char text[300] = {0};
        SendMessageA(control, textMessage, (WPARAM)i, (LPARAM)text);
        if (i)
            joined += "|";
        joined += text;
    }
    return joined;
}

std::string ComboEntries(HWND combo)
{
    return Entries(combo, CB_GETCOUNT, CB_GETLBTEXT);
}

std::string ListEntries(HWND list)
{
    return Entries(list, LB_GETCOUNT, LB_GETTEXT);
}
