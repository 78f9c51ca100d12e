// Conversions between NTP timestamps, 64-bit FILETIME counts and UTC calendar time, the decoding
// of a received SNTP message, and the fixed text form of a UTC instant.
#include "ntp/ntp_time.h"
#include "base/wide_text.h"

#include <stdio.h>
#include <string.h>
#include <winsock.h>

static const uint64_t FractionUnitsPerSecond = 0x100000000ULL;

SYSTEMTIME CalendarTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                        WORD milliseconds)
{
    SYSTEMTIME time;
    memset(&time, 0, sizeof time);
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}

uint64_t CalendarToFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                            WORD milliseconds)
{
    SYSTEMTIME time = CalendarTime(year, month, day, hour, minute, second, milliseconds);
    return SystemTimeToFileTime64(&time);
}

// An invalid calendar time (month 13, 30 February) gives 0 rather than whatever the stack held.
uint64_t SystemTimeToFileTime64(const SYSTEMTIME *time)
{
    FILETIME fileTime;
    if (!SystemTimeToFileTime(time, &fileTime))
        return 0;
    return ((uint64_t)fileTime.dwHighDateTime << 32) | fileTime.dwLowDateTime;
}

SYSTEMTIME FileTime64ToSystemTime(uint64_t fileTime)
{
    FILETIME split;
    SYSTEMTIME time;
    memset(&time, 0, sizeof time);
    split.dwLowDateTime = (DWORD)fileTime;
    split.dwHighDateTime = (DWORD)(fileTime >> 32);
    if (!FileTimeToSystemTime(&split, &time))
        memset(&time, 0, sizeof time);
    return time;
}

SYSTEMTIME FileTime64ToNearestSystemTime(uint64_t fileTime)
{
    const uint64_t halfMillisecond = 5000;
    return FileTime64ToSystemTime(fileTime + halfMillisecond);
}

NtpTimestamp SystemTimeToNtp(const SYSTEMTIME *time)
{
    uint64_t sinceEpoch = SystemTimeToFileTime64(time) - NtpEpochFileTime;
    // Only the low 32 bits of the seconds travel: from 2036-02-07 on they wrap into era 1.
    uint32_t seconds = (uint32_t)(sinceEpoch / FileTimeUnitsPerSecond);
    uint32_t fraction = (uint32_t)(((uint64_t)time->wMilliseconds << 32) / 1000);
    return ((uint64_t)seconds << 32) | fraction;
}

NtpTimestamp FileTimeToNtp(uint64_t fileTime)
{
    uint64_t sinceEpoch = fileTime - NtpEpochFileTime;
    uint32_t seconds = (uint32_t)(sinceEpoch / FileTimeUnitsPerSecond);
    uint64_t units = sinceEpoch % FileTimeUnitsPerSecond;
    // Rounded up, because NtpToFileTime truncates: the pair then returns every count unchanged.
    // The largest count, 9,999,999, still stays below one whole second (0xFFFFFE53).
    uint32_t fraction = (uint32_t)(((units << 32) + FileTimeUnitsPerSecond - 1) / FileTimeUnitsPerSecond);
    return ((uint64_t)seconds << 32) | fraction;
}

uint64_t NtpToFileTime(NtpTimestamp stamp)
{
    uint64_t seconds = stamp >> 32;
    uint64_t fraction = stamp & 0xFFFFFFFFULL;
    // Seconds with the top bit clear lie in era 1 (2036-02-07 to 2104-02-26); the rest in era 0.
    if (!(seconds & 0x80000000ULL))
        seconds += FractionUnitsPerSecond;
    uint64_t fraction100 = (fraction * FileTimeUnitsPerSecond) >> 32;
    return seconds * FileTimeUnitsPerSecond + fraction100 + NtpEpochFileTime;
}

SYSTEMTIME NtpToSystemTime(NtpTimestamp stamp)
{
    return FileTime64ToSystemTime(NtpToFileTime(stamp));
}

void HostToNetworkTimestamp(NtpTimestamp stamp, uint8_t out[8])
{
    uint32_t seconds = htonl((u_long)(stamp >> 32));
    uint32_t fraction = htonl((u_long)(stamp & 0xFFFFFFFFULL));
    memcpy(out, &seconds, 4);
    memcpy(out + 4, &fraction, 4);
}

NtpTimestamp NetworkToHostTimestamp(const uint8_t in[8])
{
    uint32_t seconds;
    uint32_t fraction;
    memcpy(&seconds, in, 4);
    memcpy(&fraction, in + 4, 4);
    return ((uint64_t)ntohl(seconds) << 32) | ntohl(fraction);
}

static uint32_t ReadBigEndian32(const uint8_t *in)
{
    uint32_t value;
    memcpy(&value, in, 4);
    return ntohl(value);
}

void DecodeNtpPacket(const uint8_t *bytes, int length, NtpFields *fields)
{
    (void)length;
    const NtpPacket *packet = (const NtpPacket *)bytes;
    fields->leap = packet->liVnMode >> 6;
    fields->version = (packet->liVnMode >> 3) & 7;
    fields->mode = packet->liVnMode & 7;
    fields->stratum = packet->stratum;
    fields->poll = packet->poll;
    fields->precision = packet->precision;
    fields->rootDelay = ReadBigEndian32(packet->rootDelay);
    fields->rootDispersion = ReadBigEndian32(packet->rootDispersion);
    memcpy(fields->referenceId, packet->referenceId, 4);
    fields->referenceTimestamp = NetworkToHostTimestamp(packet->referenceTimestamp);
    fields->originateTimestamp = NetworkToHostTimestamp(packet->originateTimestamp);
    fields->receiveTimestamp = NetworkToHostTimestamp(packet->receiveTimestamp);
    fields->transmitTimestamp = NetworkToHostTimestamp(packet->transmitTimestamp);
}

char *FormatDateAndTime(const SYSTEMTIME *time, char *out, size_t size)
{
    WCHAR date[100] = L"";
    WCHAR clock[100] = L"";
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, 0, time, L"yyyy/MM/dd", date, 100))
        date[0] = L'\0';
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, time, L"HH:mm:ss", clock, 100))
        clock[0] = L'\0';
    char dateText[100], clockText[100];
    if (size > 0)
        snprintf(out, size, "%s %s", WideToText(date, dateText, sizeof dateText),
                 WideToText(clock, clockText, sizeof clockText));
    return out;
}

char *FormatUtcTimestamp(const SYSTEMTIME *time, char *out, size_t size)
{
    char dateAndTime[100];
    FormatDateAndTime(time, dateAndTime, sizeof dateAndTime);
    if (size > 0)
        snprintf(out, size, "%s.%03d(UTC)", dateAndTime, (int)time->wMilliseconds);
    return out;
}

char *FormatNtpTimestamp(NtpTimestamp stamp, char *out, size_t size)
{
    SYSTEMTIME time = NtpToSystemTime(stamp);
    return FormatUtcTimestamp(&time, out, size);
}
