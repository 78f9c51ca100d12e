// Program-wide handles and texts that every floor of the program reads: the instance, the one
// top-level window and the version text.
#pragma once
#include <windows.h>

extern HINSTANCE ProgramInstance;   // module instance; set before any window or resource use
extern HWND ClockWindow;            // the top-level clock window; null before WM_CREATE
extern const char VersionText[];    // "vellmarin v0.21"
