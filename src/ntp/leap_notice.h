// The one-line notice of an announced leap second, and the scaled (n, μ, m) form of a value in
// seconds used by the server test output and the event log.
#pragma once
#include <stddef.h>
#include "ntp/ntp_time.h"

extern char LeapNotice[100];

void BuildLeapNotice(const NtpFields *fields);
char *FormatScaledValue(char *out, size_t size, double seconds);

// The current standard-time bias in seconds west of UTC (-32400 for UTC+9). Replaceable by tests;
// the default re-reads the runtime's time-zone setting on every call.
extern long (*TimeZoneBiasSource)(void);
