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
// Shows in the fields what the last refresh showed, without counting the hold or the notice down.
void ShowClockFields(void);
void ApplyClockAppearance(void);
// Tears the layout down and builds it again for a changed look; the status starts from the version.
void RebuildClockLayout(void);
// Builds the layout again at a new DPI, keeping the server list, its selection and the status.
void RelayoutClockForDpi(int dpi);

// Replaceable by tests: the wall-clock time shown (default GetLocalTime).
extern void (WINAPI *DisplayLocalTimeSource)(LPSYSTEMTIME time);

// The date-and-time text for a local time, 24-hour or 12-hour form (at most 22 characters).
void FormatDisplayTime(const SYSTEMTIME *time, int hour24, char *out, size_t size);
