// The yearly event log: a full report with byte dump of every reply that carries a non-zero
// leap indicator.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "ntp/ntp_time.h"

void AppendEventLog(const char *serverName, const char *serverAddress, const uint8_t *received,
                    int receivedCount, const NtpFields *fields, const SYSTEMTIME *destinationTime,
                    const char *errorText);

// Replaceable by tests: the time-zone name (default: tzset, then tzname[daylight]).
extern const char *(*TimeZoneNameSource)(void);
