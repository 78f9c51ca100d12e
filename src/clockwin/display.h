// What the clock window's text fields show: the local date and time, the status text and the
// alternating leap-second notice, refreshed once per second.
#pragma once
#include <windows.h>

enum { StatusTextSize = 1000 };

extern char StatusText[StatusTextSize];
extern int StatusHold;

void SetStatusText(const char *text);
void ShowStatusText(void);
void ShowDateTime(void);
void ShowLeapNotice(void);
void RefreshClockDisplay(void);
void ApplyClockAppearance(void);

// Replaceable by tests: the wall-clock time shown (default GetLocalTime).
extern void (WINAPI *DisplayLocalTimeSource)(LPSYSTEMTIME time);
