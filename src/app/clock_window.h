// The clock window's procedure with its message and command tables, its window class and the
// first showing; the program and the tests drive this one procedure.
#pragma once
#include <windows.h>
#include <stdint.h>

LRESULT CALLBACK ClockWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers the clock window's class under className: 0 done, -1 failed.
int RegisterClockClass(const char *className);
// Shows the created window: minimised when Position is 7, else normally; then paints it once.
void ShowClockWindow(void);

// The clock ticks four times a second, locked to the clock's quarter seconds: each tick re-arms
// the timer for just after the next quarter-second boundary, so one tick comes right after each
// second changes. `now` is UTC in 100 ns units. TickDelay: milliseconds to wait for the next
// tick. TickIsEarly: the timer fired just before the boundary it was aimed at; such a tick is not
// counted but re-armed, so ticks keep their meaning (240 a minute).
UINT TickDelay(uint64_t now);
int TickIsEarly(uint64_t now);
