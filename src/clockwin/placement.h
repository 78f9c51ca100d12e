// Where the clock window stands: start-up placement, the topmost band, and dragging by its surface.
#pragma once
#include <windows.h>

extern RECT CreationRect;

// Moves the window to its start-up position at its present size: 1, or 0 when Position places
// nothing. It only places: a caller whose window may change DPI there lays it out again.
int PlaceClockWindow(void);
void ApplyTopmost(int topmost);
void BeginDrag(HWND window, int x, int y);
void DragMove(HWND window, int x, int y);
void EndDrag(void);

// The start-up position for a Position value on a given work area: 1 with the point in at, or 0
// when the value places nothing (0, 7 and anything unknown).
int StartPosition(int position, int left, int top, int width, int height, const RECT *workArea,
                  POINT *at);
// Where a drag moves a window with this frame: the mouse at x, y (client coordinates) pressed at
// the anchor, kept within 0..limitX and 0..limitY.
POINT DragTarget(const RECT *frame, int x, int y, int anchorX, int anchorY, int limitX, int limitY);
