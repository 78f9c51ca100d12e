// The modal property sheet that edits all options: its pages, the settings snapshot and what
// OK and Cancel do with it, a guard that keeps the sheet open during a server test, the about page.
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include "sheet/property_sheet.h"
#include "sheet/sheet_pages.h"
#include "base/settings.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "base/program.h"
#include "base/wide_text.h"
#include "logs/correction_log.h"
#include "resource.h"

HWND PropertySheetWindow = NULL;
int SheetApplied = 0;
int SheetLocked = 0;

static SettingsRecord SettingsSnapshot;

enum { SheetGuardId = 1 };

void ReportPageChange(HWND page)
{
    SendMessageW(GetParent(page), PSM_CHANGED, (WPARAM)page, 0);
}

INT_PTR AcceptApply(HWND page)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

// The dialog manager turns Escape and Enter into IDCANCEL and IDOK whether or not those buttons
// are enabled, and the close box stays live: while a test runs none of them may end the sheet,
// or the running exchange would outlive the page it writes to.
static LRESULT CALLBACK SheetGuardProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR)
{
    if (SheetLocked) {
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
            return 0;
        if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
            return 0;
        if (message == WM_CLOSE)
            return 0;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(sheet, SheetGuardProc, id);
    return DefSubclassProc(sheet, message, wParam, lParam);
}

static int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        PropertySheetWindow = sheet;
        LONG exStyle = GetWindowLongW(sheet, GWL_EXSTYLE);
        SetWindowLongW(sheet, GWL_EXSTYLE, exStyle & ~WS_EX_CONTEXTHELP);
        SetWindowSubclass(sheet, SheetGuardProc, SheetGuardId, 0);
    }
    return 0;
}

enum { TitleSize = 32 };

// The title's text lives in `title` for as long as the sheet is shown.
static void SetPage(PROPSHEETPAGEW *page, int templateId, DLGPROC proc, const char *text,
                    WCHAR (&title)[TitleSize])
{
    memset(page, 0, sizeof *page);
    page->dwSize = sizeof *page;
    page->dwFlags = PSP_USETITLE;
    page->hInstance = ProgramInstance;
    page->pszTemplate = MAKEINTRESOURCEW(templateId);
    page->pfnDlgProc = proc;
    page->pszTitle = TextToWide(text, title, TitleSize);
}

void RunPropertySheet(void)
{
    INITCOMMONCONTROLSEX classes;
    classes.dwSize = sizeof classes;
    classes.dwICC = 0xFF;
    InitCommonControlsEx(&classes);

    SheetApplied = 0;
    SheetLocked = 0;
    SettingsSnapshot = Settings;

    PROPSHEETPAGEW pages[4];
    WCHAR titles[4][TitleSize], caption[TitleSize];
    SetPage(&pages[0], IDD_OPTIONS_PAGE, OptionsPageProc, "オプション", titles[0]);
    SetPage(&pages[1], IDD_SERVER_PAGE, ServerPageProc, "サーバー", titles[1]);
    SetPage(&pages[2], IDD_COMM_PAGE, CommPageProc, "通信", titles[2]);
    SetPage(&pages[3], IDD_ABOUT_PAGE, AboutPageProc, "About", titles[3]);

    PROPSHEETHEADERW header;
    memset(&header, 0, sizeof header);
    header.dwSize = sizeof header;
    header.dwFlags = PSH_USEICONID | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    header.hwndParent = ClockWindow;
    header.hInstance = ProgramInstance;
    header.pszIcon = MAKEINTRESOURCEW(IDI_CLOCK);
    header.pszCaption = TextToWide("vellmarin のプロパティ", caption, TitleSize);
    header.nPages = 4;
    header.nStartPage = 0;
    header.ppsp = pages;
    header.pfnCallback = SheetCallback;
    PropertySheetW(&header);
    PropertySheetWindow = NULL;
    SheetLocked = 0;

    if (SheetApplied) {
        // What could not be saved stays in effect until the program ends; one box says so.
        DWORD error = SaveSettings();
        DWORD listError = SaveServerList(ServerCombo);
        if (error != 0 || listError != 0)
            ShowWriteError(SettingsNotSavedText, error != 0 ? error : listError);
    } else {
        // Undoes the previewed font and colour and any correction a page made while open.
        Settings = SettingsSnapshot;
        ApplyClockAppearance();
    }
}

INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetWindowText932(GetDlgItem(page, IDC_ABOUT_VERSION), VersionText);
        return TRUE;
    }
    return FALSE;
}
