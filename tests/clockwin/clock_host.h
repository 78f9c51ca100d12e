// The clock window for the clock window's tests and the screenshot driver: the program's own
// window procedure and creation steps, with the timer stopped.
#pragma once
#include <windows.h>

HWND CreateHostClockWindow(DWORD style);    // sets ProgramInstance; ClockWindow by creation
void DestroyHostClockWindow(void);
void UseScratchIni(const char *name);       // IniPath to an empty file in the temporary folder
void PumpMessages(void);
// Zero keeps the pointer's real mouse messages (the shared X display's) away from the drag.
extern int HostForwardsMouse;
