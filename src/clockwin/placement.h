// Where the clock window stands: start-up placement, the topmost band, and dragging by its surface.
#pragma once
#include <windows.h>

extern RECT CreationRect;

void PlaceClockWindow(void);
void ApplyTopmost(int topmost);
void BeginDrag(HWND window, int x, int y);
void DragMove(HWND window, int x, int y);
void EndDrag(void);
