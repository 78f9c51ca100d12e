// A correction the clock could not make for want of the right, handed to an elevated instance of
// this program (`/sync <server>`): whether to ask, the start, the wait and the outcome's report.
#pragma once
#include <windows.h>

// The prompt's thread has an answer: wParam the wait's serial, lParam its work item.
#define WM_ELEVATION_STARTED 0x8003

// Whether a failed clock setting asks Windows for elevation: only for the missing right, in a
// process that is not elevated, when the setting allows it and no prompt was shown in this start.
int ShouldAskElevation(DWORD error, int elevated, int elevateSetting, int alreadyAsked);
// ShouldAskElevation for this process, and the exchange's server is one `/sync` accepts.
int ElevationWanted(DWORD error);
extern int ElevationAsked;      // a prompt was asked for in this start, whatever came of it

// After the reply whose correction is handed over: asks Windows, on a thread of its own, to start
// the exchange's server's `/sync` elevated (the prompt owned by owner, the answer posted to it).
// 0: the wait begins. -1: impossible at once; the result message says so and the correction log
// has the failed correction's line.
int StartElevatedSync(HWND owner);
// WM_ELEVATION_STARTED: takes the prompt's answer (and frees its work item). -1 when it belongs to
// a wait that was abandoned (a started instance is let go unreported), 0 taken.
int OnElevationStarted(WPARAM serial, LPARAM item);
// 0 while the prompt stands or the elevated instance runs. 1 when the prompt was declined (or the
// start was impossible) or the instance has ended: the result message, the exchange's flags and
// the correction log tell the outcome. -2 when the wait was abandoned meanwhile (while a log's
// warning box was open); nothing is left to report.
int CollectElevatedSync(void);
// The wait ends unreported: whatever the elevated instance does afterwards is never shown.
void AbandonElevatedSync(void);
