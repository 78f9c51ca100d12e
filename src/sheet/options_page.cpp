// The options page: display, behaviour and log switches, placement and style lists, and the
// font and background colour of the clock, previewed live in the clock window.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <stdio.h>
#include <string.h>
#include "sheet/sheet_pages.h"
#include "sheet/logon_task_box.h"
#include "base/settings.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "base/program.h"
#include "base/wide_text.h"
#include "resource.h"

BOOL (WINAPI *SheetChooseFont)(LPCHOOSEFONTW choice) = ChooseFontW;
BOOL (WINAPI *SheetChooseColor)(LPCHOOSECOLORW choice) = ChooseColorW;

static HWND OptionsPage = NULL;
static HWND FontLabel = NULL;
static HBRUSH FontLabelBrush = NULL;
static int OptionsReady = 0;

struct CheckBoxField {
    int id;
    int32_t *field;
};

static const CheckBoxField CheckBoxes[] = {
    {IDC_AUTO_CLOSE, &Settings.AutoClose},
    {IDC_ERROR_CLOSE, &Settings.ErrorClose},
    {IDC_SAVE_LOG, &Settings.SaveLog},
    {IDC_SAVE_EVENT_LOG, &Settings.SaveEventLog},
    {IDC_DISP_LEAP, &Settings.DispLeap},
    {IDC_HOUR24, &Settings.Hour24},
    {IDC_TOPMOST, &Settings.Topmost},
    {IDC_WAIT_LEAP, &Settings.WaitLeap},
    {IDC_ELEVATE, &Settings.Elevate},
};

static const char *const PositionEntries[] = {
    "自動", "前回表示位置", "中央", "左上", "右上", "左下", "右下", "最小化",
};
static const char *const FormStyleEntries[] = {"標準", "メタリックバー"};

static void ReleaseFontLabelBrush(void)
{
    if (FontLabelBrush) {
        DeleteObject(FontLabelBrush);
        FontLabelBrush = NULL;
    }
}

static void ShowFontLabel(void)
{
    char text[128];
    snprintf(text, sizeof text, "%s %dﾎﾟｲﾝﾄ", Settings.Font.Name, (int)Settings.Font.Size);
    SetWindowText932(FontLabel, text);
    InvalidateRect(FontLabel, NULL, TRUE);
}

static void FillList(HWND list, const char *const *entries, int count, int selected)
{
    for (int i = 0; i < count; i++)
        SendText932(list, CB_ADDSTRING, 0, entries[i]);
    // A hand-edited value outside the list leaves the list without a selection.
    SendMessageW(list, CB_SETCURSEL, (selected >= 0 && selected < count) ? selected : -1, 0);
}

static void InitOptionsPage(HWND page)
{
    OptionsPage = page;
    FontLabel = GetDlgItem(page, IDC_FONT_LABEL);
    FontLabelBrush = NULL;
    for (const CheckBoxField &box : CheckBoxes)
        CheckDlgButton(page, box.id, *box.field ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(page, IDC_ERROR_CLOSE), Settings.AutoClose != 0);
    FillList(GetDlgItem(page, IDC_POSITION), PositionEntries, 8, Settings.Position);
    FillList(GetDlgItem(page, IDC_FORM_STYLE), FormStyleEntries, 2, Settings.FormStyle);
    ShowLogonTaskBox(page);
    ShowFontLabel();
    OptionsReady = 1;
}

// Keeps a face name of at most 31 characters in the 64-byte field as code page 932, never
// reading past the 32-character LOGFONT field even when the chooser left it unterminated.
static void CopyFaceName(char *target, const WCHAR *face)
{
    WCHAR whole[LF_FACESIZE];
    memcpy(whole, face, sizeof whole);
    whole[LF_FACESIZE - 1] = L'\0';
    WideToText(whole, target, sizeof Settings.Font.Name);
}

static void ChooseClockFont(HWND page)
{
    LOGFONTW font = MakeClockFont(&Settings.Font);
    CHOOSEFONTW choice;
    memset(&choice, 0, sizeof choice);
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = ClockWindow;
    choice.lpLogFont = &font;
    choice.Flags = CF_INITTOLOGFONTSTRUCT | CF_SCREENFONTS | CF_EFFECTS;
    choice.rgbColors = Settings.Font.Color;
    choice.nFontType = SCREEN_FONTTYPE;
    if (!SheetChooseFont(&choice))
        return;
    CopyFaceName(Settings.Font.Name, font.lfFaceName);
    Settings.Font.Size = choice.iPointSize / 10;
    Settings.Font.Italic = font.lfItalic ? 1 : 0;
    Settings.Font.Underline = font.lfUnderline ? 1 : 0;
    Settings.Font.StrikeOut = font.lfStrikeOut ? 1 : 0;
    Settings.Font.Charset = font.lfCharSet;
    Settings.Font.Bold = font.lfWeight == FW_BOLD ? 1 : 0;
    Settings.Font.Color = choice.rgbColors;
    ApplyClockAppearance();
    ShowFontLabel();
    ReportPageChange(page);
}

static void ChooseBackgroundColor(HWND page)
{
    CHOOSECOLORW choice;
    memset(&choice, 0, sizeof choice);
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = ClockWindow;
    choice.rgbResult = Settings.Font.BkColor;
    choice.lpCustColors = Settings.CustomColors;
    choice.Flags = CC_RGBINIT;
    if (!SheetChooseColor(&choice))
        return;
    Settings.Font.BkColor = choice.rgbResult;
    ShowFontLabel();
    ApplyClockAppearance();
    ReportPageChange(page);
}

static void OptionsCommand(HWND page, int id, int code)
{
    switch (id) {
    case IDC_AUTO_CLOSE:
        if (code != BN_CLICKED)
            return;
        EnableWindow(GetDlgItem(page, IDC_ERROR_CLOSE),
                     IsDlgButtonChecked(page, IDC_AUTO_CLOSE) == BST_CHECKED);
        ReportPageChange(page);
        return;
    case IDC_ERROR_CLOSE:
    case IDC_SAVE_LOG:
    case IDC_HOUR24:
    case IDC_SAVE_EVENT_LOG:
    case IDC_DISP_LEAP:
    case IDC_WAIT_LEAP:
    case IDC_TOPMOST:
    case IDC_ELEVATE:
    case IDC_LOGON_TASK:
        if (code == BN_CLICKED)
            ReportPageChange(page);
        return;
    case IDC_POSITION:
    case IDC_FORM_STYLE:
        if (code == CBN_SELCHANGE)
            ReportPageChange(page);
        return;
    case IDC_FONT_BUTTON:
        if (code == BN_CLICKED)
            ChooseClockFont(page);
        return;
    case IDC_COLOR_BUTTON:
        if (code == BN_CLICKED)
            ChooseBackgroundColor(page);
        return;
    }
}

static void ApplyOptions(HWND page)
{
    SheetApplied = 1;
    for (const CheckBoxField &box : CheckBoxes)
        *box.field = IsDlgButtonChecked(page, box.id) == BST_CHECKED ? 1 : 0;

    // No selection (a stored value outside the list) keeps the stored value.
    int position = (int)SendDlgItemMessageW(page, IDC_POSITION, CB_GETCURSEL, 0, 0);
    if (position != CB_ERR && position != Settings.Position) {
        Settings.Position = position;
        // With "last position" the window position is then saved at the next closing even if
        // the window never moves.
        CreationRect.left = -1;
        CreationRect.top = -1;
    }
    int style = (int)SendDlgItemMessageW(page, IDC_FORM_STYLE, CB_GETCURSEL, 0, 0);
    if (style != CB_ERR && style != Settings.FormStyle) {
        Settings.FormStyle = style;
        ShowWindow(ClockWindow, SW_HIDE);
        RebuildClockLayout();
        ShowWindow(ClockWindow, SW_SHOW);
    } else {
        ApplyClockAppearance();
    }
    ApplyTopmost(Settings.Topmost);
}

static INT_PTR FontLabelColors(HDC dc)
{
    ReleaseFontLabelBrush();
    FontLabelBrush = CreateSolidBrush(Settings.Font.BkColor);
    SetTextColor(dc, Settings.Font.Color);
    SetBkMode(dc, TRANSPARENT);
    return (INT_PTR)FontLabelBrush;
}

static void ForgetOptionsPage(void)
{
    ReleaseFontLabelBrush();
    OptionsReady = 0;
    FontLabel = NULL;
    OptionsPage = NULL;
}

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitOptionsPage(page);
        return TRUE;
    case WM_COMMAND:
        if (OptionsReady)
            OptionsCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (FontLabel && (HWND)lParam == FontLabel)
            return FontLabelColors((HDC)wParam);
        return FALSE;
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->code == PSN_APPLY) {
            // A task change that did not happen keeps the sheet open, nothing applied, on
            // this page, where the line beside the box says why.
            if (!ApplyLogonTaskBox(page)) {
                SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_INVALID);
                return TRUE;
            }
            ApplyOptions(page);
            return AcceptApply(page);
        }
        return FALSE;
    case WM_DESTROY:
        ForgetOptionsPage();
        return FALSE;
    }
    return FALSE;
}
