// The clock's 250 ms tick: when the timer fires next, and what one tick does (the clock read once
// for both: the re-arming, the displayed second and the state machine).
#pragma once
#include <windows.h>
#include <stdint.h>

// The clock ticks four times a second, locked to the clock's quarter seconds: each tick re-arms
// the timer for just after the next quarter-second boundary, so one tick comes right after each
// second changes. `now` is UTC in 100 ns units. TickDelay: milliseconds to wait for the next
// tick. TickIsEarly: the timer fired just before the boundary it was aimed at; such a tick is not
// counted but re-armed, so ticks keep their meaning (240 a minute).
UINT TickDelay(uint64_t now);
int TickIsEarly(uint64_t now);
// Arms the clock timer of window for just after the next quarter second.
void ArmClockTimer(HWND window);
// One firing of the clock timer: reads the clock once, re-arms the timer of window (none when
// null) and, unless the firing came early, counts the tick, refreshes the display when the second
// changed, counts down the leap recheck and hands the tick to the state machine (MachineTick).
void ClockTimerFired(HWND window);
