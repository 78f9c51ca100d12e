// The clock window as a user at 150 % display scaling sees it: the prefix's LogPixels is 144 for
// this exe only (CTest runs it through scripts/with-dpi.sh). Every control lies inside the client
// area and the longest date and time, and the status, fit their fields in the fields' own fonts.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "base/program.h"
#include "base/settings.h"
#include "clockwin/clock_host.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "clockwin/scaling.h"

namespace {

BOOL CALLBACK ExpectInsideClient(HWND control, LPARAM)
{
    RECT client, frame;
    GetClientRect(ClockWindow, &client);
    GetWindowRect(control, &frame);
    MapWindowPoints(NULL, ClockWindow, reinterpret_cast<POINT *>(&frame), 2);
    if (GetDlgCtrlID(control) == 2200 && ClockLook() == MetallicBarStyle) return TRUE;  // kept off the bar
    EXPECT_GE(frame.left, client.left) << GetDlgCtrlID(control);
    EXPECT_GE(frame.top, client.top) << GetDlgCtrlID(control);
    EXPECT_LE(frame.right, client.right) << GetDlgCtrlID(control);
    EXPECT_LE(frame.bottom, client.bottom) << GetDlgCtrlID(control);
    return TRUE;
}

// The text's extent in the field's own font fits the field's client area.
void ExpectFits(HWND field, const char *text)
{
    ASSERT_NE(nullptr, field);
    RECT client;
    GetClientRect(field, &client);
    HDC dc = GetDC(field);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(field, WM_GETFONT, 0, 0)));
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &extent);
    SelectObject(dc, old);
    ReleaseDC(field, dc);
    EXPECT_LE(extent.cx, client.right) << text;
    EXPECT_LE(extent.cy, client.bottom) << text;
}

void WINAPI WidestTime(LPSYSTEMTIME time)
{
    SYSTEMTIME widest = {2026, 12, 1, 28, 20, 58, 58, 0};
    *time = widest;
}

}  // namespace

TEST(At144Dpi, BothLooksShowTheWholeDateTimeAndStatus)
{
    UseScratchIni("dpi");
    DisplayLocalTimeSource = WidestTime;
    struct Row { int look; int points; const char *status; } rows[] = {
        {StandardStyle, 20, "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。"},
        // The bar's 250-pixel field (at 96 DPI) holds 20 points of the Windows face; the wider
        // face that stands in for it here needs 16 at every DPI.
        {MetallicBarStyle, 16, "サーバーとの通信中..."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.look);
        memset(&Settings.Font, 0, sizeof Settings.Font);
        snprintf(Settings.Font.Name, sizeof Settings.Font.Name, "%s", "ＭＳ Ｐゴシック");
        Settings.Font.Size = row.points;
        Settings.FormStyle = row.look;
        ASSERT_NE(nullptr, CreateHostClockWindow(WS_OVERLAPPEDWINDOW));
        ASSERT_EQ(144, WindowDpi(ClockWindow)) << "the prefix does not run at 144 DPI";
        EXPECT_EQ(144, LayoutDpi());
        EnumChildWindows(ClockWindow, ExpectInsideClient, 0);
        char time[32];
        SYSTEMTIME widest;
        WidestTime(&widest);
        FormatDisplayTime(&widest, 1, time, sizeof time);
        StatusHold = 0;
        ShowDateTime();
        HWND timeField = row.look == StandardStyle ? TimeField : DisplayField;
        ExpectFits(timeField, time);
        SetStatusText(row.status);
        ExpectFits(row.look == StandardStyle ? StatusField : DisplayField, row.status);
        DestroyHostClockWindow();
    }
    DeleteFileW(IniPath);
}
