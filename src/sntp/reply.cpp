// Evaluation of a received SNTP reply: validation, offset and delay, correction of the clock,
// the hand-off to the logs and the leap-second items read by the state machine and display.
#include "sntp/reply.h"
#include "sntp/exchange.h"

int64_t ClockOffset;
int CorrectionFailed;
char ClockErrorText[ClockErrorTextSize];
int LeapAnnounced;
SYSTEMTIME LeapDate;
int LeapAtMidnight;
int LeapNoticeSeconds;
int LeapRecheckTicks;

BOOL (WINAPI *SetSystemClock)(const SYSTEMTIME *utc) = SetSystemTime;

int ProcessReply(void) { return FailExchange(); }
int ValidateReply(const NtpFields *) { return 0; }
void DumpReplyFields(const NtpFields *) {}
