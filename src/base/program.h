// Program-wide handles and texts that every floor of the program reads: the instance, the one
// top-level window, the version text, and the bounded copy of code page 932 texts.
#pragma once
#include <windows.h>
#include <stddef.h>

extern HINSTANCE ProgramInstance;   // module instance; set before any window or resource use
extern HWND ClockWindow;            // the top-level clock window; null before WM_CREATE
extern const char VersionText[];    // "vellmarin v" and the project version, "vellmarin v0.22"

// Length of the longest start of text that fits in limit bytes without splitting a double-byte
// character; never reads text at or past limit, so the text need not be terminated there.
size_t WholeCharacterLength(const char *text, size_t limit);
// Copies at most size - 1 bytes of text (whole characters only) and terminates; out may be text.
void CopyWholeCharacters(char *out, size_t size, const char *text);
// Entry `index` of a combo box in code page 932, in a buffer sized from the entry's own length
// (CB_GETLBTEXT takes no buffer size), terminated; the caller frees it. Null when the entry
// cannot be read.
char *CopyComboEntry(HWND combo, WPARAM index);
