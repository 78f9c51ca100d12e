// One SNTP exchange at a time over WinSock 1.1, driven by window messages and clock ticks.
// Owns the exchange record, the one-minute rule table and the server test's output lines.
#include "sntp/exchange.h"
#include <stdarg.h>
#include <stdio.h>

ExchangeRecordData ExchangeRecord = {nullptr, 0, ExchangeIdle, 0, 0, 0, {0}, INVALID_SOCKET, 0,
                                     {}, 0, {0}, {}, {0}};
RecentServer RecentServers[RecentServerSlots];
uint32_t TickCounter;
HWND TestOutputBox;

void StartNetwork(void) {}
void StopNetwork(void) {}
int StartExchange(const char *, int) { ExchangeRecord.ExchangeFailed = 1; return -1; }
int OnHostResolved(WPARAM, LPARAM) { return -1; }
int OnSocketNotify(WPARAM, LPARAM) { return -1; }
int ExchangeTick(void) { return 0; }
void CancelExchange(void) {}
void CloseExchange(void) { ExchangeRecord.phase = ExchangeIdle; }
void SetResultMessage(const char *text)
{
    snprintf(ExchangeRecord.ResultMessage, sizeof ExchangeRecord.ResultMessage, "%s", text);
}
void AppendTestLine(const char *, ...) {}
void ClearTestOutput(void) {}
int FailExchange(void) { ExchangeRecord.ExchangeFailed = 1; CloseExchange(); return 1; }
