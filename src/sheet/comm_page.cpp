// The communication page: the numbers of a synchronisation run and of the interval in digits-only
// boxes with spin controls, corrected when a box is left out of range, the server rotation switch
// and the switch for a query after every wake.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include "sheet/sheet_pages.h"
#include "base/settings.h"
#include "clockwin/scaling.h"
#include "resource.h"

struct NumberBox {
    int editId;
    int spinId;
    int32_t *field;
    int textLimit;
    int lowest;
    int highest;
    int correction;     // put in when the box is left with a number out of range
    int reset;          // the default the reset button puts in
};

static const NumberBox NumberBoxes[] = {
    {IDC_MIN_ADJUST, IDC_MIN_ADJUST_SPIN, &Settings.MinAdjust, 4, 0, 9999, 100, 100},
    {IDC_STARTUP_WAIT, IDC_STARTUP_SPIN, &Settings.StartupWait, 2, 0, 99, 1, 1},
    {IDC_RETRY_MAX, IDC_RETRY_MAX_SPIN, &Settings.RetryMax, 2, 0, 99, 10, 10},
    {IDC_RETRY_WAIT, IDC_RETRY_WAIT_SPIN, &Settings.RetryWait, 2, 5, 99, 5, 5},
    {IDC_CONFIRM_STEP, IDC_CONFIRM_STEP_SPIN, &Settings.ConfirmStep, 8, 0, 99999999, 1000, 1000},
    {IDC_RESYNC_MINUTES, IDC_RESYNC_MINUTES_SPIN, &Settings.ResyncMinutes, 4, 0, 1440, 0, 0},
};

// The width of an up-down control beside its box at 96 DPI, and the width the page's template
// gives each one, in dialog units.
enum { SpinWidth = 16, SpinTemplateWidth = 9 };

static HWND CommPage = NULL;
static int CommPageReady = 0;

static const NumberBox *FindNumberBox(int editId)
{
    for (const NumberBox &box : NumberBoxes)
        if (box.editId == editId)
            return &box;
    return NULL;
}

// The leading decimal digits of the box (an empty box reads as 0). Pasted text can be longer
// than the limit allows for typing, so the value saturates instead of overflowing.
// *clean tells whether the text was digits only.
static int ReadNumber(HWND page, int editId, int *clean)
{
    WCHAR text[20];
    GetDlgItemTextW(page, editId, text, 20);
    int value = 0;
    int i = 0;
    for (; text[i] >= L'0' && text[i] <= L'9'; i++)
        value = value > 99999999 ? 999999999 : value * 10 + (text[i] - L'0');
    if (clean)
        *clean = text[i] == L'\0';
    return value;
}

static void ShowNumber(HWND page, int editId, int value)
{
    WCHAR text[16];
    _snwprintf(text, 16, L"%d", value);     // an int's 11 characters at most: always terminated
    SetDlgItemTextW(page, editId, text);
}

// On Windows an up-down control that aligns itself to its box keeps the width its template gives
// it, in dialog units, which grow with the page's font at every DPI: nothing is done there. Some
// common controls (Wine's) give it 16 pixels at every DPI instead, too narrow for the page's font
// when scaled up: a control narrower than its template asks widens to its width at the page's DPI
// over the right end of its box, its own right edge and the box's left edge staying where they are.
static void FitSpinToDpi(HWND page, const NumberBox &box, int dpi)
{
    HWND spin = GetDlgItem(page, box.spinId);
    HWND edit = GetDlgItem(page, box.editId);
    RECT spinRect, editRect;
    if (!spin || !edit || !GetWindowRect(spin, &spinRect) || !GetWindowRect(edit, &editRect))
        return;
    MapWindowPoints(NULL, page, (POINT *)&spinRect, 2);
    RECT asked = {0, 0, SpinTemplateWidth, 1};
    if (!MapDialogRect(page, &asked) || spinRect.right - spinRect.left >= asked.right)
        return;
    int width = ScaleForDpi(SpinWidth, dpi);
    int extra = width - (spinRect.right - spinRect.left);
    if (extra <= 0)
        return;
    SetWindowPos(edit, NULL, 0, 0, editRect.right - editRect.left - extra, editRect.bottom - editRect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(spin, NULL, spinRect.left - extra, spinRect.top, width, spinRect.bottom - spinRect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

static void InitCommPage(HWND page)
{
    CommPage = page;
    int dpi = WindowDpi(page);
    for (const NumberBox &box : NumberBoxes) {
        FitSpinToDpi(page, box, dpi);
        ShowNumber(page, box.editId, *box.field);
        SendDlgItemMessageW(page, box.editId, EM_LIMITTEXT, (WPARAM)box.textLimit, 0);
        SendDlgItemMessageW(page, box.spinId, UDM_SETRANGE32, (WPARAM)box.lowest, (LPARAM)box.highest);
    }
    CheckDlgButton(page, IDC_ROTATE_SERVER, Settings.RotateServer ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_RESYNC_ON_WAKE, Settings.ResyncOnWake ? BST_CHECKED : BST_UNCHECKED);
    CommPageReady = 1;
}

// Leaving a box: a number out of range is replaced at once, in the box and in Settings. Text
// that is not all digits (it can only be pasted) is shown as the number it reads as.
static void LeaveNumberBox(HWND page, const NumberBox &box)
{
    int clean = 1;
    int value = ReadNumber(page, box.editId, &clean);
    if (value < box.lowest || value > box.highest) {
        *box.field = box.correction;
        ShowNumber(page, box.editId, box.correction);
    } else if (!clean) {
        ShowNumber(page, box.editId, value);
    }
}

static void ResetNumbers(HWND page)
{
    for (const NumberBox &box : NumberBoxes)
        ShowNumber(page, box.editId, box.reset);
    ReportPageChange(page);
}

static void CommCommand(HWND page, int id, int code)
{
    const NumberBox *box = FindNumberBox(id);
    if (box) {
        if (code == EN_CHANGE && CommPageReady)
            ReportPageChange(page);
        else if (code == EN_KILLFOCUS && CommPageReady)
            LeaveNumberBox(page, *box);
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (id == IDC_RESET_BUTTON)
        ResetNumbers(page);
    else if (id == IDC_ROTATE_SERVER || id == IDC_RESYNC_ON_WAKE)
        ReportPageChange(page);
}

// A box that still has the focus when OK is pressed may hold a number that was never checked:
// the same correction as on leaving the box keeps Settings in range.
static void ApplyComm(HWND page)
{
    for (const NumberBox &box : NumberBoxes) {
        int value = ReadNumber(page, box.editId, NULL);
        *box.field = (value < box.lowest || value > box.highest) ? box.correction : value;
    }
    Settings.RotateServer = IsDlgButtonChecked(page, IDC_ROTATE_SERVER) == BST_CHECKED ? 1 : 0;
    Settings.ResyncOnWake = IsDlgButtonChecked(page, IDC_RESYNC_ON_WAKE) == BST_CHECKED ? 1 : 0;
    SheetApplied = 1;
}

INT_PTR CALLBACK CommPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitCommPage(page);
        return TRUE;
    case WM_COMMAND:
        CommCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->code == PSN_APPLY) {
            ApplyComm(page);
            return AcceptApply(page);
        }
        return FALSE;
    case WM_DESTROY:
        CommPageReady = 0;
        CommPage = NULL;
        return FALSE;
    }
    return FALSE;
}
