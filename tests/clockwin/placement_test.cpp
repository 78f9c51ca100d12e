// Start-up placement for every Position value, the drag limits, and both against a real window
// on the real work area.
#include <gtest/gtest.h>
#include <windows.h>
#include "base/program.h"
#include "clockwin/clock_host.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "base/settings.h"

namespace {

TEST(Placement, EveryPositionValueOnAGivenWorkArea)
{
    const RECT plain = {0, 0, 1920, 1040};
    const RECT topBar = {0, 40, 1920, 1080};   // task bar along the top
    const RECT leftBar = {60, 0, 1920, 1080};  // task bar along the left
    struct Row {
        int position, left, top;
        const RECT *area;
        int placed, x, y;
    } rows[] = {
        {0, 10, 10, &plain, 0, 0, 0},
        {7, 10, 10, &plain, 0, 0, 0},
        {8, 10, 10, &plain, 0, 0, 0},
        {-1, 10, 10, &plain, 0, 0, 0},
        {1, 100, 200, &plain, 1, 100, 200},
        {1, 5000, 200, &plain, 1, 1523, 200},
        {1, -50, -7, &plain, 1, 0, 0},
        {1, 100, 5000, &plain, 1, 100, 1008},
        {1, 1600, 20, &leftBar, 1, 1463, 20},      // bounds are the area's size from the origin
        {2, 0, 0, &plain, 1, 761, 504},
        {2, 0, 0, &topBar, 1, 761, 544},
        {2, 0, 0, &leftBar, 1, 791, 524},
        {3, 0, 0, &topBar, 1, 0, 0},
        {4, 0, 0, &topBar, 1, 1523, 0},
        {5, 0, 0, &plain, 1, 0, 1008},
        {6, 0, 0, &plain, 1, 1523, 1008},
        {6, 0, 0, &leftBar, 1, 1523, 1048},
    };
    for (const Row &row : rows) {
        POINT at = {-999, -999};
        EXPECT_EQ(row.placed, StartPosition(row.position, row.left, row.top, 397, 32, row.area, &at)) << row.position;
        if (!row.placed) continue;
        EXPECT_EQ(row.x, at.x) << row.position << " " << row.left;
        EXPECT_EQ(row.y, at.y) << row.position << " " << row.top;
    }
    // A window larger than the work area ends at 0; the centre may then be negative.
    POINT at;
    RECT small = {0, 0, 300, 20};
    StartPosition(1, 50, 50, 397, 32, &small, &at);
    EXPECT_EQ(0, at.x);
    EXPECT_EQ(0, at.y);
    StartPosition(2, 0, 0, 397, 32, &small, &at);
    EXPECT_EQ(-48, at.x);
    EXPECT_EQ(-6, at.y);
}

TEST(Placement, DragMovesByTheMouseAndStopsAtTheEdges)
{
    const RECT frame = {100, 100, 497, 132};
    struct Row { int x, y; int ax, ay; int toX, toY; } rows[] = {
        {30, 10, 20, 5, 110, 105},
        {-200, 10, 20, 5, 0, 105},     // beyond the left edge
        {30, -300, 20, 5, 110, 0},     // beyond the top edge
        {3000, 10, 20, 5, 1280 - 397, 105},
        {30, 3000, 20, 5, 110, 1000 - 32},
        {-5000, -5000, 0, 0, 0, 0},
    };
    for (const Row &row : rows) {
        POINT at = DragTarget(&frame, row.x, row.y, row.ax, row.ay, 1280, 1000);
        EXPECT_EQ(row.toX, at.x) << row.x << "," << row.y;
        EXPECT_EQ(row.toY, at.y) << row.x << "," << row.y;
    }
}

class WindowPlacement : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseScratchIni("placement");
        Settings.FormStyle = 1;
        ASSERT_NE(nullptr, CreateHostClockWindow(WS_OVERLAPPEDWINDOW));
        BuildClockLayout();
        ShowWindow(ClockWindow, SW_SHOWNOACTIVATE);
        PumpMessages();
    }
    void TearDown() override
    {
        DestroyHostClockWindow();
        DeleteFileW(IniPath);
    }
    RECT Frame()
    {
        RECT frame;
        GetWindowRect(ClockWindow, &frame);
        return frame;
    }
};

TEST_F(WindowPlacement, PlacesTheRealWindowOnTheRealWorkArea)
{
    RECT area;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    for (int position = 0; position <= 7; ++position) {
        SetWindowPos(ClockWindow, NULL, 77, 66, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Settings.Position = position;
        Settings.Left = 12;
        Settings.Top = 34;
        PlaceClockWindow();
        POINT expected = {77, 66};
        StartPosition(position, 12, 34, 397, 32, &area, &expected);
        RECT frame = Frame();
        EXPECT_EQ(expected.x, frame.left) << position;
        EXPECT_EQ(expected.y, frame.top) << position;
        EXPECT_EQ(397, frame.right - frame.left);
        EXPECT_EQ(32, frame.bottom - frame.top);
    }
}

TEST_F(WindowPlacement, DraggingByTheSurfaceStopsAtTheScreenEdges)
{
    SetWindowPos(ClockWindow, NULL, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    HostForwardsMouse = 0;
    int limitX = GetSystemMetrics(SM_CXFULLSCREEN);
    int limitY = GetSystemMetrics(SM_CYFULLSCREEN) + GetSystemMetrics(SM_CYCAPTION);
    // Mouse positions arrive as the message's low and high words.
    auto move = [](int x, int y) { DragMove(ClockWindow, static_cast<WORD>(x), static_cast<WORD>(y)); };
    DragMove(ClockWindow, 50, 50);      // not dragging: nothing moves
    EXPECT_EQ(200, Frame().left);

    BeginDrag(ClockWindow, 10, 8);
    EXPECT_EQ(ClockWindow, GetCapture());
    struct Row { int x, y; int left, top; } rows[] = {
        {20, 18, 210, 160},
        {-500, 8, 0, 160},               // left of the window: negative client x
        {10, -400, 0, 0},
        {limitX + 500, 8, limitX - 397, 0},
        {10, limitY + 500, limitX - 397, limitY - 32},
    };
    for (const Row &row : rows) {
        move(row.x, row.y);
        RECT frame = Frame();
        EXPECT_EQ(row.left, frame.left) << row.x << "," << row.y;
        EXPECT_EQ(row.top, frame.top) << row.x << "," << row.y;
        EXPECT_EQ(397, frame.right - frame.left);
    }
    EndDrag();
    EXPECT_EQ(nullptr, GetCapture());
    RECT before = Frame();
    move(100, 100);
    EXPECT_EQ(before.left, Frame().left);

    // Wine does not mark an owner topmost while it owns a topmost popup (the tooltip window).
    DestroyToolTips();
    // A drag whose capture was taken away ends instead of following the pointer.
    BeginDrag(ClockWindow, 10, 8);
    ReleaseCapture();
    move(60, 60);
    SetCapture(ClockWindow);
    move(60, 60);
    EXPECT_EQ(before.left, Frame().left);
    ReleaseCapture();

    ApplyTopmost(1);
    EXPECT_TRUE(GetWindowLongA(ClockWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ApplyTopmost(0);
    EXPECT_FALSE(GetWindowLongA(ClockWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    HostForwardsMouse = 1;
    EXPECT_EQ(before.left, Frame().left);
}

}  // namespace
