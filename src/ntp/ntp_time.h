// The SNTP wire message and the arithmetic between NTP time, FILETIME counts and calendar time.
// All calendar times here are UTC; FILETIME values are plain 64-bit counts of 100 ns since 1601.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

// High 32 bits: seconds since 1900 (modulo one era); low 32 bits: fraction in units of 2^-32 s.
typedef uint64_t NtpTimestamp;

static const uint64_t NtpEpochFileTime = 94354848000000000ULL;  // 1900-01-01 00:00:00 UTC
static const uint64_t FileTimeUnitsPerSecond = 10000000ULL;

#pragma pack(push, 1)
struct NtpPacket {
    uint8_t liVnMode;               // LI (bits 7-6), VN (5-3), Mode (2-0)
    uint8_t stratum;
    int8_t poll;
    int8_t precision;
    uint8_t rootDelay[4];           // big-endian, seconds * 65536
    uint8_t rootDispersion[4];
    uint8_t referenceId[4];
    uint8_t referenceTimestamp[8];  // seconds then fraction, each big-endian
    uint8_t originateTimestamp[8];
    uint8_t receiveTimestamp[8];
    uint8_t transmitTimestamp[8];
};
#pragma pack(pop)
static_assert(sizeof(NtpPacket) == 48, "NTP packet is 48 bytes");
static_assert(offsetof(NtpPacket, referenceId) == 12, "reference id at 12");
static_assert(offsetof(NtpPacket, originateTimestamp) == 24, "originate at 24");
static_assert(offsetof(NtpPacket, transmitTimestamp) == 40, "transmit at 40");

// The decoded, host-order form of a received packet.
struct NtpFields {
    uint32_t leap;
    uint32_t version;
    uint32_t mode;
    uint32_t stratum;
    int32_t poll;
    int32_t precision;
    uint32_t rootDelay;
    uint32_t rootDispersion;
    uint8_t referenceId[4];
    NtpTimestamp referenceTimestamp;
    NtpTimestamp originateTimestamp;
    NtpTimestamp receiveTimestamp;
    NtpTimestamp transmitTimestamp;
};

// A calendar time with the seven given fields; the day of the week is left 0.
SYSTEMTIME CalendarTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                        WORD milliseconds);
uint64_t CalendarToFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                            WORD milliseconds);
uint64_t SystemTimeToFileTime64(const SYSTEMTIME *time);
SYSTEMTIME FileTime64ToSystemTime(uint64_t fileTime);   // sub-millisecond part dropped
// The calendar time nearest to the count, to the millisecond (half a millisecond goes up).
SYSTEMTIME FileTime64ToNearestSystemTime(uint64_t fileTime);

NtpTimestamp SystemTimeToNtp(const SYSTEMTIME *time);
// Keeps every 100 ns unit: NtpToFileTime gives the same count back.
NtpTimestamp FileTimeToNtp(uint64_t fileTime);
uint64_t NtpToFileTime(NtpTimestamp stamp);
SYSTEMTIME NtpToSystemTime(NtpTimestamp stamp);

void HostToNetworkTimestamp(NtpTimestamp stamp, uint8_t out[8]);
NtpTimestamp NetworkToHostTimestamp(const uint8_t in[8]);

// Fills fields from the first 48 bytes; the caller guarantees at least 48.
void DecodeNtpPacket(const uint8_t *bytes, int length, NtpFields *fields);

// "2026/12/06 08:13:48": the date and the 24-hour time with explicit pictures, whatever the
// user's regional format.
char *FormatDateAndTime(const SYSTEMTIME *time, char *out, size_t size);
// "2026/12/06 08:13:48.123(UTC)"; size is the buffer size (callers pass at least 100).
char *FormatUtcTimestamp(const SYSTEMTIME *time, char *out, size_t size);
char *FormatNtpTimestamp(NtpTimestamp stamp, char *out, size_t size);
