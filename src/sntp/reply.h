// Evaluation of a received reply: validation, offset and delay, correction of the system clock,
// hand-off to the logs, and the leap-second items the state machine and display read.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "ntp/ntp_time.h"
#include "sntp/reply_receiver.h"

enum { ClockErrorTextSize = 104 };

extern int64_t ClockOffset;         // server minus local time, 100 ns units
extern int CorrectionFailed;
extern DWORD CorrectionError;       // the Windows error of the failed clock setting
extern char ClockErrorText[ClockErrorTextSize];
extern int LeapAnnounced;
extern SYSTEMTIME LeapDate;         // UTC
extern int LeapAtMidnight;
extern int LeapNoticeSeconds;
extern int LeapRecheckTicks;

// Evaluates a datagram received on the exchange's socket, with t4 its arrival, and returns the
// verdict the exchange acts on: 0 success, 1 failed (ResultMessage set). -1: nothing from the
// server was there (a datagram from another address or port, dropped, or none at all); go on
// awaiting it. -2: the exchange was stopped (and maybe another one started) while a log's warning
// box was open; the evaluation touched nothing after the box, and nothing is left to end.
int EvaluateReply(const ReceivedDatagram *datagram);
int ValidateReply(const NtpFields *fields);     // 0 passes, -1 refused (ResultMessage set)
void DumpReplyFields(const NtpFields *fields);
void BuildClockErrorText(int64_t offset);       // ClockErrorText from an offset (100 ns units)
void AppendDelayLine(int64_t delay);            // the round-trip delay as a test line
// A large step no second server agreed with: the message with the first server's error, the
// correction log's line as for a failed correction, and the event log's record of the servers.
void RefuseLargeStep(void);
// 1 when an offset (100 ns units) is at least MinAdjust: the clock is then set.
int OffsetReachesMinAdjust(int64_t offset);

// Asked when the clock setting failed: 1 when the correction is handed to an elevated instance,
// which then writes the log line; null (the default) or 0: the failure is reported here, with the
// Windows error's text.
extern int (*HandOverFailedCorrection)(DWORD error);

// The one place the system clock is set. Tests replace it to record the requested UTC time.
extern BOOL (WINAPI *SetSystemClock)(const SYSTEMTIME *utc);
