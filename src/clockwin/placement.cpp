// Where the clock window stands: start-up placement, the topmost band, and dragging by its surface.
#include "clockwin/placement.h"

RECT CreationRect = {0, 0, 0, 0};

void PlaceClockWindow(void) {}
void ApplyTopmost(int) {}
void BeginDrag(HWND, int, int) {}
void DragMove(HWND, int, int) {}
void EndDrag(void) {}
