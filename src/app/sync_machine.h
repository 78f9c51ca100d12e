// The synchronisation state machine: one table of handlers indexed by state and event, and the
// work of every 250 ms timer tick.
#pragma once
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
    SyncStateCount = 8
};

enum SyncEvent {
    Tick = 0,
    ExchangeDone = 1,
    SyncButton = 2,
    SettingsButton = 3,
    SyncEventCount = 4
};

extern SyncState CurrentState;
extern uint32_t StateTicks;
extern int32_t RetriesLeft;
extern int LeapWaitAnnounce;

void Dispatch(SyncEvent event);
void TimerTick(void);
void EnterState(SyncState state);
void BeginStartDelay(void);
void SelectNextServer(void);
const char *SelectedServerName(void);
void SetControlsEnabled(int enable);
