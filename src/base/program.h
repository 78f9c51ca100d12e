// Program-wide handles and texts that every floor of the program reads: the instance, the one
// top-level window, and the version text.
#pragma once
#include <windows.h>
#include <stddef.h>

extern HINSTANCE ProgramInstance;   // module instance; set before any window or resource use
extern HWND ClockWindow;            // the top-level clock window; null before WM_CREATE
extern const char VersionText[];    // "vellmarin v" and the project version, "vellmarin v0.22"

// Entry `index` of a combo box in code page 932, in a buffer sized from the entry's own length
// (CB_GETLBTEXT takes no buffer size), terminated; the caller frees it. Null when the entry
// cannot be read.
char *CopyComboEntry(HWND combo, WPARAM index);
