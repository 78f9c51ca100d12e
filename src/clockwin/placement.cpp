// Where the clock window stands: start-up placement, the topmost band, and dragging by its surface.
#include "clockwin/placement.h"
#include "base/program.h"
#include "base/settings.h"

RECT CreationRect = {0, 0, 0, 0};

static int Dragging = 0;
static int AnchorX = 0;
static int AnchorY = 0;

int StartPosition(int position, int left, int top, int width, int height, const RECT *workArea,
                  POINT *at)
{
    int areaWidth = workArea->right - workArea->left;
    int areaHeight = workArea->bottom - workArea->top;
    switch (position) {
    case 1:
        // Pulled back inside the work area's size, measured from the screen's origin.
        if (left + width > areaWidth) left = areaWidth - width;
        if (left < 0) left = 0;
        if (top + height > areaHeight) top = areaHeight - height;
        if (top < 0) top = 0;
        at->x = left;
        at->y = top;
        return 1;
    case 2:
        at->x = (areaWidth - width) / 2 + workArea->left;
        at->y = (areaHeight - height) / 2 + workArea->top;
        return 1;
    case 3:
        at->x = 0;
        at->y = 0;
        return 1;
    case 4:
        at->x = workArea->right - width;
        at->y = 0;
        return 1;
    case 5:
        at->x = 0;
        at->y = workArea->bottom - height;
        return 1;
    case 6:
        at->x = workArea->right - width;
        at->y = workArea->bottom - height;
        return 1;
    default:
        return 0;
    }
}

int PlaceClockWindow(void)
{
    if (!ClockWindow) return 0;
    RECT workArea;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0)) {
        workArea.left = workArea.top = 0;
        workArea.right = GetSystemMetrics(SM_CXSCREEN);
        workArea.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    RECT frame;
    GetWindowRect(ClockWindow, &frame);
    POINT at;
    if (!StartPosition(Settings.Position, Settings.Left, Settings.Top, frame.right - frame.left,
                       frame.bottom - frame.top, &workArea, &at))
        return 0;
    SetWindowPos(ClockWindow, NULL, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return 1;
}

void ApplyTopmost(int topmost)
{
    if (ClockWindow)
        SetWindowPos(ClockWindow, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void BeginDrag(HWND window, int x, int y)
{
    AnchorX = static_cast<WORD>(x);
    AnchorY = static_cast<WORD>(y);
    SetCapture(window);
    Dragging = 1;
}

POINT DragTarget(const RECT *frame, int x, int y, int anchorX, int anchorY, int limitX, int limitY)
{
    int width = frame->right - frame->left;
    int height = frame->bottom - frame->top;
    POINT at = {frame->left + (x - anchorX), frame->top + (y - anchorY)};
    if (at.y < 0)
        at.y = 0;
    else if (at.y + height > limitY)
        at.y = limitY - height;
    if (at.x < 0)
        at.x = 0;
    else if (at.x + width > limitX)
        at.x = limitX - width;
    return at;
}

void DragMove(HWND window, int x, int y)
{
    if (!Dragging || !window) return;
    if (GetCapture() != window) {
        // Another window took the capture without a button release: the drag is over.
        Dragging = 0;
        return;
    }
    RECT frame;
    if (!GetWindowRect(window, &frame)) return;
    // The mouse is captured, so it may be left of or above the window: signed 16-bit values.
    int limitX = GetSystemMetrics(SM_CXFULLSCREEN);
    int limitY = GetSystemMetrics(SM_CYFULLSCREEN) + GetSystemMetrics(SM_CYCAPTION);
    POINT at = DragTarget(&frame, static_cast<short>(x), static_cast<short>(y), AnchorX, AnchorY, limitX, limitY);
    SetWindowPos(window, NULL, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void EndDrag(void)
{
    ReleaseCapture();
    Dragging = 0;
}
