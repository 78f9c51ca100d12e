// The record of the SNTP exchange under way and what it writes: the result message and the
// lines of the server page's test output box. Shared by the exchange and the reply evaluation.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <stdint.h>
#include "ntp/ntp_time.h"

// ExchangeReady: the socket is open and the request waits for SendPreparedRequest.
enum {
    ExchangeIdle = 0,
    ExchangeResolving = 1,
    ExchangeAwaitingReply = 2,
    ExchangeProcessing = 3,
    ExchangeReady = 4
};
enum { ResultMessageSize = 1000, RequestBufferSize = 50 };

struct HostLookup;
struct ReplyReceiver;

struct ExchangeRecordData {
    const char *serverName;         // not owned; unchanged while the exchange runs
    int applyRetryRule;
    int phase;
    int ExchangeFailed;
    int phaseTicks;
    HostLookup *lookup;             // null when no lookup is pending
    SOCKET socket;                  // INVALID_SOCKET when none
    ReplyReceiver *receiver;        // the thread receiving on socket; null when none
    struct sockaddr_storage address;    // the server's, IPv4 or IPv6, port 123
    uint64_t sendTime;              // t1, 100 ns units since 1601 (UTC): the send's middle
    uint64_t stampTime;             // the reading just before the send, sendStamp's source
    NtpTimestamp sendStamp;         // the Transmit Timestamp the request carried
    uint8_t requestBuffer[RequestBufferSize];
    uint64_t receiveTime;           // t4, 100 ns units since 1601 (UTC)
    char ResultMessage[ResultMessageSize];
    uint32_t serial;                // counts started exchanges: tells one exchange from the next
};

extern ExchangeRecordData ExchangeRecord;
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

void SetResultMessage(const char *text);
void AppendTestLine(const char *format, ...);
void ClearTestOutput(void);
