// A stand-in clock window for the clock window's tests and the screenshot driver: a plain
// top-level window whose procedure forwards drawing, colours and mouse presses like the program's.
#pragma once
#include <windows.h>

HWND CreateHostClockWindow(DWORD style);    // sets ClockWindow and ProgramInstance
void DestroyHostClockWindow(void);
void UseScratchIni(const char *name);       // IniPath to an empty file in the temporary folder
void PumpMessages(void);
// Zero keeps the pointer's real mouse messages (the shared X display's) away from the drag.
extern int HostForwardsMouse;
