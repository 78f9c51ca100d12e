// One SNTP exchange at a time over WinSock 1.1: asynchronous lookup and socket notification as
// window messages, time-outs counted in the clock window's 250 ms ticks, the one-minute rule and
// the test output box of the server page.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "sntp/ntp_time.h"

#define WM_HOST_RESOLVED 0x8001
#define WM_SOCKET_NOTIFY 0x8002

enum { ExchangeIdle = 0, ExchangeResolving = 1, ExchangeAwaitingReply = 2, ExchangeProcessing = 3 };
enum { ResultMessageSize = 1000, HostBufferSize = 1025, RequestBufferSize = 50 };

struct ExchangeRecordData {
    const char *serverName;         // not owned; unchanged while the exchange runs
    int applyRetryRule;
    int phase;
    int ExchangeFailed;
    int phaseTicks;
    HANDLE lookupHandle;            // 0 when no lookup is pending
    char hostBuffer[HostBufferSize];
    SOCKET socket;                  // INVALID_SOCKET when none
    uint32_t address;               // network byte order
    uint64_t sendTime;              // t1, 100 ns units since 1601 (UTC)
    NtpTimestamp sendStamp;         // the Transmit Timestamp the request carried
    uint8_t requestBuffer[RequestBufferSize];
    uint64_t receiveTime;           // t4, 100 ns units since 1601 (UTC)
    char ResultMessage[ResultMessageSize];
};

struct RecentServer {
    uint32_t address;               // network byte order; 0 marks an empty slot
    uint32_t sentAt;                // TickCounter when the request was sent
};

enum { RecentServerSlots = 32, OneMinuteTicks = 240 };

extern ExchangeRecordData ExchangeRecord;
extern RecentServer RecentServers[RecentServerSlots];
extern uint32_t TickCounter;
extern HWND TestOutputBox;          // the server page's output box while it exists, else null

// The UTC clock the exchange reads t1 and t4 (and the correction its fresh reading) from, in
// 100 ns units. Default ReadFinestUtcClock; tests replace it to fix the instants of an exchange.
typedef void (WINAPI *UtcClockReader)(LPFILETIME utc);
extern UtcClockReader ReadUtcClock;
uint64_t ReadUtcNow(void);                  // one reading of ReadUtcClock as a 64-bit count
// The module's GetSystemTimePreciseAsFileTime when it exports one, else GetSystemTimeAsFileTime
// (systems before Windows 8 lack the precise one, so it is never imported).
UtcClockReader FinestUtcClock(HMODULE kernel);
void WINAPI ReadFinestUtcClock(LPFILETIME utc);     // FinestUtcClock of kernel32, looked up once

void StartNetwork(void);
void StopNetwork(void);
int StartExchange(const char *serverName, int applyRetryRule);  // 0 under way, -1 ended at once
int OnHostResolved(WPARAM wParam, LPARAM lParam);               // -1 not ours, 0 going on, 1 done
int OnSocketNotify(WPARAM wParam, LPARAM lParam);               // -1 not ours, 0 ignored, 1 done
int ExchangeTick(void);                                         // 1 when a time-out ended it
void CancelExchange(void);
void CloseExchange(void);
void SetResultMessage(const char *text);
void AppendTestLine(const char *format, ...);
void ClearTestOutput(void);
int FailExchange(void);
