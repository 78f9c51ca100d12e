// What the exchange tests share: a hidden clock window that routes the exchange's two messages
// to it, a message pump, an output box, a fixed clock and a recorder for clock settings.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "sntp/reply_receiver.h"
#include "support/fake_resolver.h"

struct HandlerCall {
    UINT message;
    int result;
};

extern std::vector<HandlerCall> HandlerCalls;   // every routed message and its handler's result
extern std::vector<SYSTEMTIME> ClockSettings;   // every time passed to SetSystemClock
extern BOOL ClockSettingResult;                 // what the recorder answers (default TRUE)
extern ReceivedDatagram LastHandedOver;         // the last datagram a receiving thread handed over

void CreateHarnessWindows(void);                // ClockWindow and an EDIT box (not yet attached)
HWND HarnessOutputBox(void);
std::vector<std::string> OutputLines(void);     // the output box's lines, in order
void ResetHarness(void);                        // clears calls, recorded settings, box, globals

// Pumps messages until the exchange is idle or ms have passed; 1 when it became idle.
int PumpUntilIdle(int ms);
void PumpFor(int ms);
// Starts an exchange and sends its request as the clock window does: 0 under way, -1 ended.
int StartAndSend(const char *server, int applyRetryRule);
// Runs a whole exchange (start, then messages until it ends). Returns StartExchange's result.
int RunExchange(const char *server, int applyRetryRule);

// The fixed clock: successive reads return the queued instants, the last one repeating, or
// going on by step with each further read.
void UseFixedClock(const std::vector<uint64_t> &fileTimes, uint64_t step = 0);
void UseRealClock(void);
uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second, int ms);

// Delivers one datagram from 127.0.0.1:fromPort (AF_INET6: [::1]:fromPort) to a fresh exchange
// socket of that family in phase 2, receives it on this thread as the receiving thread would and
// runs ProcessReply on it. Port 123 is the server; the sender sockets stay open between calls.
int DeliverAndProcess(const uint8_t *data, int length, unsigned short fromPort = 123,
                      int family = AF_INET);
void CloseSenders(void);

// A well-formed reply for a request sent at t1 and answered at t2/t3 (FILETIME counts).
void BuildReply(uint8_t reply[48], uint64_t t2, uint64_t t3, int leap = 0, int stratum = 2);
