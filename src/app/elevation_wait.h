// A correction the clock could not make for want of the right, handed to an elevated instance of
// this program (`/sync <server>`): whether to ask, the start, the wait and the outcome's report.
#pragma once
#include <windows.h>

// Whether a failed clock setting asks Windows for elevation: only for the missing right, in a
// process that is not elevated, when the setting allows it and no prompt was shown in this start.
int ShouldAskElevation(DWORD error, int elevated, int elevateSetting, int alreadyAsked);
// ShouldAskElevation for this process, and the exchange's server is one `/sync` accepts.
int ElevationWanted(DWORD error);
extern int ElevationAsked;      // a prompt was asked for in this start, whatever came of it

// After the reply whose correction is handed over: starts the exchange's server's `/sync` elevated
// (the prompt owned by owner). 0: it runs, to be waited for. -1: declined or impossible; the
// result message says so and the correction log has the failed correction's line.
int StartElevatedSync(HWND owner);
// 0 while the elevated instance runs. 1 when it has ended: the result message, the exchange's
// flags and the correction log tell its outcome. -2 when the wait was abandoned meanwhile (while
// a log's warning box was open); nothing is left to report.
int CollectElevatedSync(void);
// The wait ends unreported: whatever the elevated instance does afterwards is never shown.
void AbandonElevatedSync(void);
