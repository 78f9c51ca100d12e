// The program's clock window procedure over stand-in controls the machine drives, a scripted
// exchange and sheet, a fake UTC clock, and a trace of what the machine asked for.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct CallRecord {
    std::string what;      // "start", "close", "cancel", "sheet", "testctl", "WM_CLOSE"
    std::string server;    // for "start": the server name; for "testctl": "0" or "1"
    int automatic;         // for "start": the one-minute rule flag
    int tick;              // the test's tick count when it happened
};

struct ScriptedExchange {
    int startResult;                   // what the next StartExchange returns (0 or -1)
    const char *startFailure;          // ResultMessage when a start fails at once
    int timeoutAfterTicks;             // ExchangeTick ends the exchange after this many; 0 never
    int inFlight;
    int ticksInFlight;
};

extern ScriptedExchange Scripted;
extern std::vector<CallRecord> Calls;
extern int TestTicks;
// Runs inside the scripted property sheet, between its opening and its closing.
extern void (*SheetScript)(void);

void CreateTestClockWindow(void);              // once per test program; again does nothing
void ResetMachine(int formStyle);              // fresh settings, controls, trace and clock
void FillServers(int count, int selected);     // entries "s0", "s1", ...; selected -1 for none
void SetFakeUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
void RunTicks(int count);                      // the clock timer firing, the clock 250 ms on each time
int RunTicksUntil(int limit, bool (*done)(void));  // ticks run; stops early when done()
void ReplyOk(const char *message);
void ReplyFailed(const char *message);
void ReplyLeap(int atMidnight);                // a successful reply announcing a leap second
std::vector<CallRecord> CallsOf(const char *what);
std::string WindowText(HWND window);
void PumpMessages(void);
