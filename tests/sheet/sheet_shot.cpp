// Screenshot driver: opens the property sheet at the top left of the screen and holds one page,
// so a script can capture each page from the X display.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include "base/program.h"
#include "base/settings.h"
#include "clockwin/clock_host.h"
#include "sheet/property_sheet.h"

static int ShownPage = 0;
static int Seconds = 8;
static DWORD ClosingTime = 0;
static UINT_PTR HoldTimer = 0;

static void CALLBACK HoldTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    HWND sheet = PropertySheetWindow;
    if (!sheet || !IsWindowVisible(sheet))
        return;
    if (!ClosingTime) {
        SetWindowPos(sheet, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
        PropSheet_SetCurSel(sheet, NULL, ShownPage);
        ClosingTime = GetTickCount() + (DWORD)Seconds * 1000;
        return;
    }
    if ((LONG)(GetTickCount() - ClosingTime) >= 0) {
        KillTimer(NULL, HoldTimer);
        PropSheet_PressButton(sheet, PSBTN_CANCEL);
    }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    // "reset": a Wine virtual desktop leaves its size as the display size of the whole prefix;
    // this puts the real display's size back for every later program.
    if (strstr(commandLine, "reset"))
        return ChangeDisplaySettingsExA(NULL, NULL, NULL, 0, NULL) == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
    // Arguments: the page (0 to 3), then how many seconds to stay open.
    sscanf(commandLine, "%d %d", &ShownPage, &Seconds);
    UseScratchIni("sheetshot");
    LoadSettings();
    snprintf(Settings.Font.Name, sizeof Settings.Font.Name, "%s", "ＭＳ Ｐゴシック");
    Settings.Font.Size = 20;
    Settings.Font.Charset = SHIFTJIS_CHARSET;
    Settings.Font.Color = RGB(0, 0, 0);
    Settings.Font.BkColor = RGB(0, 255, 0);
    // The clock window owns the sheet but stays hidden, out of the picture.
    CreateHostClockWindow(WS_OVERLAPPEDWINDOW);
    HoldTimer = SetTimer(NULL, 0, 50, HoldTimerProc);
    RunPropertySheet();
    DestroyHostClockWindow();
    DeleteFileW(IniPath);
    return 0;
}
