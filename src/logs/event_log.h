// The yearly event log: a full report with byte dump of every reply that carries a non-zero
// leap indicator or is refused as too imprecise, and the record of large steps.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "ntp/ntp_time.h"

// errorText: the clock's error; null or empty for a reply refused before its offset was taken.
void AppendEventLog(const char *serverName, const char *serverAddress, const uint8_t *received,
                    int receivedCount, const NtpFields *fields, const SYSTEMTIME *destinationTime,
                    const char *errorText);
// A short report of its own: the time of recording, a title and the given lines (what the
// servers asked about a large step said, and the verdict).
void AppendEventNote(const char *title, const char *const *lines, int count);

// Replaceable by tests: the time-zone name (default: tzset, then tzname[daylight]).
extern const char *(*TimeZoneNameSource)(void);
