// The record of the SNTP exchange under way and what it writes: the result message and the
// lines of the server page's test output box. Shared by the exchange and the reply evaluation.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "ntp/ntp_time.h"

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
    SYSTEMTIME sendTime;            // t1, UTC
    NtpTimestamp sendStamp;         // the Transmit Timestamp the request carried
    uint8_t requestBuffer[RequestBufferSize];
    SYSTEMTIME receiveTime;         // t4, UTC
    char ResultMessage[ResultMessageSize];
    uint32_t serial;                // counts started exchanges: tells one exchange from the next
};

extern ExchangeRecordData ExchangeRecord;
extern HWND TestOutputBox;          // the server page's output box while it exists, else null

// The UTC clock the exchange reads t1 and t4 (and the correction its fresh reading) from.
// Default GetSystemTime; tests replace it to fix the instants of an exchange.
extern void (WINAPI *ReadUtcClock)(LPSYSTEMTIME utc);

void SetResultMessage(const char *text);
void AppendTestLine(const char *format, ...);
void ClearTestOutput(void);
