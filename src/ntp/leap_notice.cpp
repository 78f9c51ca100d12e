// The notice of an announced leap second in local standard time, and the scaled text form of a
// value in seconds (n, μ, m) used by the server test output and the event log.
#include "ntp/leap_notice.h"

#include <math.h>
#include <stdio.h>
#include <time.h>

char LeapNotice[100];

// The runtime keeps the zone in _timezone only after _tzset, so it is re-read on every call.
static long RuntimeTimeZoneBias(void)
{
    _tzset();
    return _timezone;
}

long (*TimeZoneBiasSource)(void) = RuntimeTimeZoneBias;

void BuildLeapNotice(const NtpFields *fields)
{
    SYSTEMTIME serverTime = NtpToSystemTime(fields->transmitTimestamp);
    const char *word = fields->leap == 1 ? "挿入" : "削除";

    if (serverTime.wHour == 0 && serverTime.wMinute == 0 && serverTime.wSecond == 0) {
        snprintf(LeapNotice, sizeof LeapNotice, "うるう秒が%sされます。", word);
        return;
    }

    // The second is inserted or deleted at the end of the server's UTC day: name its last minute.
    serverTime.wHour = 23;
    serverTime.wMinute = 59;
    serverTime.wSecond = 0;
    serverTime.wMilliseconds = 0;
    int64_t bias = (int64_t)TimeZoneBiasSource() * (int64_t)FileTimeUnitsPerSecond;
    uint64_t local = SystemTimeToFileTime64(&serverTime) - (uint64_t)bias;
    SYSTEMTIME localTime = FileTime64ToSystemTime(local);
    snprintf(LeapNotice, sizeof LeapNotice, "%04d/%d/%d %d:%02d にうるう秒が%sされます。",
             (int)localTime.wYear, (int)localTime.wMonth, (int)localTime.wDay,
             (int)localTime.wHour, (int)localTime.wMinute, word);
}

char *FormatScaledValue(char *out, size_t size, double seconds)
{
    double magnitude = fabs(seconds);
    if (size == 0)
        return out;
    if (magnitude == 0.0)
        snprintf(out, size, "0.00");
    else if (magnitude < 0.000001)
        snprintf(out, size, "%.2lfn", seconds * 1000000000.0);
    else if (magnitude < 0.001)
        snprintf(out, size, "%.2lfμ", seconds * 1000000.0);
    else if (magnitude < 1.0)
        snprintf(out, size, "%.2lfm", seconds * 1000.0);
    else
        snprintf(out, size, "%.2lf", seconds);
    return out;
}
