// The program's clock window procedure in front of the layout: background, drawn buttons,
// colours of the static fields and dragging by the mouse, as its messages arrive.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include "base/program.h"
#include "clockwin/clock_host.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "resource.h"
#include "base/settings.h"

namespace {

class ClockWindowProcedure : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseScratchIni("procedure");
        memset(&Settings.Font, 0, sizeof Settings.Font);
        Settings.Font.Size = 20;
        Settings.Font.Color = RGB(1, 2, 3);
        Settings.Font.BkColor = RGB(10, 20, 30);
        Settings.FormStyle = 0;
        ASSERT_NE(nullptr, CreateHostClockWindow(WS_OVERLAPPEDWINDOW));
    }
    void TearDown() override
    {
        DestroyHostClockWindow();
        DeleteFileW(IniPath);
    }
    void Build(int formStyle)
    {
        Settings.FormStyle = formStyle;
        BuildClockLayout();
    }
};

COLORREF PixelOf(HBITMAP image, int x, int y)
{
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ old = SelectObject(dc, image);
    COLORREF pixel = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return pixel;
}

// The bar paints its own background and buttons; the standard look leaves both to the system.
TEST_F(ClockWindowProcedure, BackgroundAndDrawnButtonsOnlyForTheBar)
{
    for (int style : {0, 1}) {
        SCOPED_TRACE(style);
        Build(style);
        HDC screen = GetDC(NULL);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP canvas = CreateCompatibleBitmap(screen, 400, 40);
        ReleaseDC(NULL, screen);
        HGDIOBJ old = SelectObject(dc, canvas);
        RECT all = {0, 0, 400, 40};
        HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
        FillRect(dc, &all, magenta);
        DeleteObject(magenta);

        EXPECT_EQ(1, SendMessageA(ClockWindow, WM_ERASEBKGND, (WPARAM)dc, 0));
        COLORREF expected = style ? PixelOf(BarBackground, 1, 1) : GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(expected, GetPixel(dc, 1, 1));

        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.CtlID = IDC_RUN_BUTTON;
        item.itemAction = ODA_DRAWENTIRE;
        item.hwndItem = RunButton;
        item.hDC = dc;
        item.rcItem = RECT{0, 0, 24, 32};
        EXPECT_EQ(style, SendMessageA(ClockWindow, WM_DRAWITEM, IDC_RUN_BUTTON, (LPARAM)&item));
        item.CtlID = IDC_DISPLAY_FIELD;
        EXPECT_EQ(0, SendMessageA(ClockWindow, WM_DRAWITEM, IDC_DISPLAY_FIELD, (LPARAM)&item));

        SelectObject(dc, old);
        DeleteObject(canvas);
        DeleteDC(dc);
    }
}

TEST_F(ClockWindowProcedure, StaticFieldsTakeTheColoursOfTheLook)
{
    enum Answer { Painted, Transparent, System };
    struct Row {
        int style;
        HWND *field;
        Answer answer;
    } rows[] = {
        {0, &TimeField, Painted},     {0, &StatusField, Painted}, {0, &DisplayField, Transparent},
        {1, &DisplayField, Painted},  {0, &OptionsButton, System},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.style << " " << row.answer);
        Build(row.style);
        HDC dc = GetDC(ClockWindow);
        SetTextColor(dc, RGB(200, 200, 200));
        SetBkMode(dc, OPAQUE);
        LRESULT brush = SendMessageA(ClockWindow, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)*row.field);
        if (row.answer == Painted) {
            EXPECT_EQ((LRESULT)BackgroundBrush, brush);
            EXPECT_EQ(RGB(1, 2, 3), GetTextColor(dc));
            EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
        } else if (row.answer == Transparent) {
            EXPECT_EQ((LRESULT)GetStockObject(NULL_BRUSH), brush);
        } else {
            EXPECT_NE((LRESULT)BackgroundBrush, brush);
            EXPECT_NE(RGB(1, 2, 3), GetTextColor(dc));
        }
        ReleaseDC(ClockWindow, dc);
    }
}

// Pressing on the surface drags the window by the mouse's motion, also when the pointer is
// left of the window (a negative position in the message); release ends the drag.
TEST_F(ClockWindowProcedure, MouseDragsTheWindowByItsSurface)
{
    Build(1);
    SetWindowPos(ClockWindow, NULL, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    auto frame = [] {
        RECT rect;
        GetWindowRect(ClockWindow, &rect);
        return rect;
    };
    SendMessageA(ClockWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 8));
    EXPECT_EQ(ClockWindow, GetCapture());
    SendMessageA(ClockWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 18));
    EXPECT_EQ(210, frame().left);
    EXPECT_EQ(160, frame().top);
    SendMessageA(ClockWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-5, 8));
    EXPECT_EQ(195, frame().left);
    EXPECT_EQ(160, frame().top);
    SendMessageA(ClockWindow, WM_LBUTTONUP, 0, MAKELPARAM(-5, 8));
    EXPECT_EQ(nullptr, GetCapture());
    SendMessageA(ClockWindow, WM_MOUSEMOVE, 0, MAKELPARAM(60, 60));
    EXPECT_EQ(195, frame().left);
}

}  // namespace
