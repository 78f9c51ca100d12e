// Screenshot driver: builds the clock window's layout in one look and holds the bar's buttons in
// hover, pressed and disabled states, so a script can capture both looks from the X display.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "base/program.h"
#include "clockwin/clock_host.h"
#include "clockwin/display.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "base/settings.h"

static void SetRecord(int id, int hover, int pressed)
{
    for (int i = 0; i < DrawnButtonCount; ++i)
        if (DrawnButtonTable[i].id == id) {
            DrawnButtonTable[i].hover = hover;
            DrawnButtonTable[i].pressed = pressed;
            InvalidateRect(DrawnButtonTable[i].window, NULL, FALSE);
        }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    // "reset": a Wine virtual desktop leaves its size as the display size of the whole prefix;
    // this puts the real display's size back for every later program.
    if (strstr(commandLine, "reset")) return ChangeDisplaySettingsExA(NULL, NULL, NULL, 0, NULL) == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
    // Arguments: "standard" or "bar", then how many seconds to stay open.
    int bar = strstr(commandLine, "bar") != NULL;
    const char *digits = strpbrk(commandLine, "0123456789");
    int seconds = digits ? atoi(digits) : 8;
    UseScratchIni("shot");
    memset(&Settings, 0, sizeof Settings);
    snprintf(Settings.Font.Name, sizeof Settings.Font.Name, "%s", "ＭＳ Ｐゴシック");
    // The bar's field holds the default 20 points of the Windows face; the wider face standing in
    // for it under Wine needs 16 to show the whole date and time, at every DPI.
    Settings.Font.Size = bar ? 16 : 20;
    Settings.Font.Charset = SHIFTJIS_CHARSET;
    Settings.Font.Color = RGB(0, 0, 0);
    Settings.Font.BkColor = RGB(0, 255, 0);
    Settings.Hour24 = 1;
    Settings.FormStyle = bar;
    CreateHostClockWindow(WS_OVERLAPPEDWINDOW);
    BuildClockLayout();
    SetWindowPos(ClockWindow, NULL, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    if (bar) {
        StatusHold = 0;
        ShowDateTime();
        SetRecord(2003, 1, 0);                 // hovered
        SetRecord(2001, 1, 1);                 // pressed
        EnableWindow(OptionsButton, FALSE);    // disabled: grey glyph
    } else {
        SetStatusText("ようこそ vellmarin へ。");
        ShowDateTime();
    }
    ShowWindow(ClockWindow, SW_SHOW);
    UpdateWindow(ClockWindow);
    SetTimer(NULL, 0, 1000, NULL);
    DWORD end = GetTickCount() + seconds * 1000;
    MSG message;
    while (GetTickCount() < end && GetMessageW(&message, NULL, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd) {
            if (bar) ShowDateTime(); else RefreshClockDisplay();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DestroyHostClockWindow();
    DeleteFileW(IniPath);
    return 0;
}
