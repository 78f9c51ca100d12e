// The synchronisation state machine: one table of handlers indexed by state and event; the clock's
// tick (app/clock_tick.h) hands it each tick.
#pragma once
#include <windows.h>
#include <stdint.h>

enum SyncState {
    Idle = 0,
    StartDelay = 1,
    Querying = 2,
    RetryDelay = 3,
    ClosePending = 4,
    SettingsOpen = 5,
    TestQuerying = 6,
    LeapWait = 7,
    ElevationWait = 8,      // an elevated instance of this program makes the correction
    SyncStateCount = 9
};

enum SyncEvent {
    Tick = 0,
    ExchangeDone = 1,
    SyncButton = 2,
    SettingsButton = 3,
    Wake = 4,               // the computer resumed from sleep
    Interval = 5,           // ResyncMinutes have passed since a query last ran
    SyncEventCount = 6
};

extern SyncState CurrentState;
extern uint32_t StateTicks;
extern int32_t RetriesLeft;
extern int LeapWaitAnnounce;

void Dispatch(SyncEvent event);
// One tick of the clock: counts the interval since the last query, then dispatches Tick and,
// when ResyncMinutes have passed, Interval.
void MachineTick(void);
// The computer resumed from sleep (PBT_APMRESUMEAUTOMATIC): empties the record of recently asked
// servers and dispatches Wake, which with ResyncOnWake starts a run after StartupWait.
void SystemResumed(void);
// Takes the result of OnHostResolved or OnReplyReceived: 1 (the exchange ended) raises
// ExchangeDone. Returns 1 when the message belonged to the current exchange (result 0 or 1), 0
// when it was for a lookup or socket that is no longer current.
int DispatchExchangeResult(int result);
// The reply's failed clock setting (sntp/reply.h's HandOverFailedCorrection): 1 when a query's
// correction goes to an elevated instance, which the machine then starts and waits for.
int OfferElevation(DWORD error);
void EnterState(SyncState state);
void BeginStartDelay(void);
void SelectNextServer(void);
const char *SelectedServerName(void);
void SetControlsEnabled(int enable);
// Freshly built controls as the current state wants them: held while a query is under way.
void ShowControlsForState(void);

// Shared steps, also used by the window procedure and the tests.
void UpdateToolTipText(const char *text);
// Starts a query and enters `state` (Querying or TestQuerying): everything that announces it (status,
// controls, title, their repaint) is done before the request goes out, so that nothing but the
// exchange stands between the send and the reply's notification. 0 under way; -1 ended at once,
// with the controls as they were and the state for the caller to choose.
int StartQuery(const char *serverName, int applyRetryRule, SyncState state);
// "サーバーとの通信中..." and, once the exchange knows it, the address it asks.
void ShowQueryStatus(void);
void ShowResult(void);
void AutomaticAttempt(void);
void AfterFailure(void);
void FinishRun(void);

// Everything the machine asks of the exchange layer, the property sheet and the clock, in one
// record so tests can script exchanges and time. Defaults are the program's own functions.
struct SyncServicesRecord {
    int (*startExchange)(const char *serverName, int applyRetryRule);
    int (*sendRequest)(void);
    int (*exchangeTick)(void);
    void (*closeExchange)(void);
    void (*cancelExchange)(void);
    void (*runPropertySheet)(void);
    const char *(*testServerName)(void);
    void (*setTestControlsEnabled)(int enable);
    void (WINAPI *readUtcTime)(LPSYSTEMTIME time);
};

extern SyncServicesRecord SyncServices;
