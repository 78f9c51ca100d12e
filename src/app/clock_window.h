// The clock window's procedure with its message and command tables, its window class and the
// first showing; the program and the tests drive this one procedure.
#pragma once
#include <windows.h>

LRESULT CALLBACK ClockWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers the clock window's class under className: 0 done, -1 failed.
int RegisterClockClass(const WCHAR *className);
// Shows the created window: minimised when Position is 7, else normally; then paints it once.
void ShowClockWindow(void);

