// Drives the real modal property sheet over the program's own clock window, and a thread timer
// that runs a test's script.
#include "sheet/sheet_harness.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <stdio.h>
#include "app/clock_window.h"
#include "base/program.h"
#include "app/sync_machine.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "base/wide_text.h"
#include "support/test_ini.h"
#include "base/settings.h"
#include "sheet/property_sheet.h"
#include "sntp/exchange.h"

static std::function<void(HWND)> PendingScript;
static UINT_PTR ScriptTimer = 0;

void SetUpClock(const char *iniText)
{
    ProgramInstance = GetModuleHandleA(NULL);
    WCHAR folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    _snwprintf(ProgramDirectory, MAX_PATH, L"%lsvm-sheet-%lu\\", folder,
               (unsigned long)GetCurrentProcessId());
    CreateDirectoryW(ProgramDirectory, NULL);
    _snwprintf(IniPath, MAX_PATH + 16, L"%lsvellmarin.ini", ProgramDirectory);
    DeleteFileW(IniPath);
    if (iniText && *iniText) {
        FILE *file = _wfopen(IniPath, L"wb");
        ASSERT_NE(nullptr, file);
        fputs(iniText, file);
        fclose(file);
    }
    LoadSettings();
    StartNetwork();

    static bool registered = false;
    if (!registered)
        registered = RegisterClockClass(L"VELLMARIN") == 0;
    // The program's own window: its creation steps build the layout, start the timer and record
    // the creation rectangle. The start-up query is not wanted here, so the machine goes idle.
    CreateWindowExW(0, L"VELLMARIN", L"vellmarin", WS_OVERLAPPEDWINDOW, 100, 100, 0, 0, NULL, NULL,
                    ProgramInstance, NULL);
    ASSERT_NE(nullptr, ClockWindow);
    EnterState(Idle);
    ShowWindow(ClockWindow, SW_SHOWNOACTIVATE);
}

void TearDownClock(void)
{
    if (ClockWindow) {
        KillTimer(ClockWindow, 1);
        DestroyWindow(ClockWindow);
        ClockWindow = NULL;
    }
    // The window's destruction asked the message loop to end; the tests have none to end, and
    // a later modal sheet must not take the request as its own.
    MSG quit;
    PeekMessageW(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
    StopNetwork();
    DeleteFileW(IniPath);
    RemoveDirectoryW(ProgramDirectory);
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

// Texts cross in UTF-16, as the user's typing and reading do, and are compared in code page 932.
void SetText(HWND page, int id, const char *text)
{
    SetWindowText932(GetDlgItem(page, id), text);
}

std::string Text(HWND page, int id)
{
    char text[2048] = {0};
    GetWindowText932(GetDlgItem(page, id), text, sizeof text);
    return text;
}

int Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

void ExpectControlsInsidePages(HWND sheet)
{
    for (int index = 0; index < 4; index++) {
        HWND page = ShowPage(sheet, index);
        RECT inside;
        GetClientRect(page, &inside);
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT rect;
            GetWindowRect(child, &rect);
            MapWindowPoints(NULL, page, reinterpret_cast<POINT *>(&rect), 2);
            EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= inside.right &&
                        rect.bottom <= inside.bottom)
                << "page " << index << " control " << GetDlgCtrlID(child) << " at " << rect.left
                << "," << rect.top << "-" << rect.right << "," << rect.bottom << " of " << inside.right
                << "x" << inside.bottom;
        }
    }
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
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::string IniString(const char *section, const char *key)
{
    return IniFileValue(section, key);
}

int IniInt(const char *section, const char *key, int fallback)
{
    std::string text = IniString(section, key);
    return text == "<missing>" ? fallback : atoi(text.c_str());
}

static std::string Entries(HWND control, UINT countMessage, UINT textMessage)
{
    std::string joined;
    int count = (int)SendMessageW(control, countMessage, 0, 0);
    for (int i = 0; i < count; i++) {
        WCHAR wide[300] = {0};
        char text[600];
        SendMessageW(control, textMessage, (WPARAM)i, (LPARAM)wide);
        if (i)
            joined += "|";
        joined += WideToText(wide, text, sizeof text);
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
