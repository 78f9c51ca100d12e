// Tests of the NTP time arithmetic: the era rule across 2036 and the window edges, millisecond
// truncation, exact 100 ns round trips, rounding to the millisecond, the wire byte order, packet
// decoding and the UTC text form.
#include <gtest/gtest.h>
#include <string.h>

#include "ntp/ntp_time.h"

static SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                      WORD ms = 0)
{
    return CalendarTime(year, month, day, hour, minute, second, ms);
}

static std::string Text(NtpTimestamp stamp)
{
    char buffer[100];
    return FormatNtpTimestamp(stamp, buffer, sizeof buffer);
}

TEST(NtpTime, ConstantsMatchThePlatformCalendar)
{
    EXPECT_EQ(NtpEpochFileTime, CalendarToFileTime(1900, 1, 1, 0, 0, 0, 0));
    EXPECT_EQ(FileTimeUnitsPerSecond, CalendarToFileTime(1601, 1, 1, 0, 0, 1, 0));
    EXPECT_EQ(0u, CalendarToFileTime(2026, 13, 1, 0, 0, 0, 0));  // invalid month: defined 0
}

// Calendar instant -> wire seconds, and the wire seconds -> the instant they are read back as.
TEST(NtpTime, EraRuleBothWays)
{
    struct Row {
        SYSTEMTIME in;
        uint32_t seconds;
        const char *back;
    } rows[] = {
        {Utc(2026, 12, 6, 8, 13, 48), 0xEEBF97BCu, "2026/12/06 08:13:48.000(UTC)"},
        {Utc(1968, 1, 20, 3, 14, 8), 0x80000000u, "1968/01/20 03:14:08.000(UTC)"},
        {Utc(2036, 2, 7, 6, 28, 15), 0xFFFFFFFFu, "2036/02/07 06:28:15.000(UTC)"},
        {Utc(2036, 2, 7, 6, 28, 16), 0x00000000u, "2036/02/07 06:28:16.000(UTC)"},
        {Utc(2036, 2, 7, 6, 28, 17), 0x00000001u, "2036/02/07 06:28:17.000(UTC)"},
        {Utc(2104, 2, 26, 9, 42, 23), 0x7FFFFFFFu, "2104/02/26 09:42:23.000(UTC)"},
        // Just outside the window: one second early reads as the window's last second.
        {Utc(1968, 1, 20, 3, 14, 7), 0x7FFFFFFFu, "2104/02/26 09:42:23.000(UTC)"},
        // One second past the window reads as its first second.
        {Utc(2104, 2, 26, 9, 42, 24), 0x80000000u, "1968/01/20 03:14:08.000(UTC)"},
        {Utc(1900, 1, 1, 0, 0, 0), 0x00000000u, "2036/02/07 06:28:16.000(UTC)"},
    };
    for (const Row &row : rows) {
        NtpTimestamp stamp = SystemTimeToNtp(&row.in);
        EXPECT_EQ(row.seconds, (uint32_t)(stamp >> 32)) << row.back;
        EXPECT_EQ(0u, (uint32_t)stamp) << row.back;
        EXPECT_EQ(row.back, Text(stamp));
    }
}

TEST(NtpTime, EraOneInstantsComeBackExactly)
{
    uint64_t start = CalendarToFileTime(2036, 2, 7, 6, 28, 16, 0);
    EXPECT_EQ(start, NtpToFileTime(0));
    EXPECT_EQ(start + 5 * FileTimeUnitsPerSecond + 5000000, NtpToFileTime((5ULL << 32) | 0x80000000u));
    uint64_t last = CalendarToFileTime(2104, 2, 26, 9, 42, 23, 0) + 9999999;
    EXPECT_EQ(last, NtpToFileTime(0x7FFFFFFFFFFFFFFFULL));
}

// Both directions truncate, so only the eight multiples of 125 ms survive a round trip.
TEST(NtpTime, MillisecondTruncationRoundTrip)
{
    struct Row {
        WORD ms;
        uint32_t fraction;
        uint64_t units100ns;
        WORD back;
    } rows[] = {
        {0, 0, 0, 0},
        {1, 4294967u, 9999, 0},
        {125, 0x20000000u, 1250000, 125},
        {500, 0x80000000u, 5000000, 500},
        {875, 0xE0000000u, 8750000, 875},
        {998, 4286377361u, 9979999, 997},
        {999, 0xFFBE76C8u, 9989999, 998},
    };
    uint64_t base = CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0);
    for (const Row &row : rows) {
        SYSTEMTIME in = Utc(2026, 12, 6, 8, 13, 48, row.ms);
        NtpTimestamp stamp = SystemTimeToNtp(&in);
        EXPECT_EQ(row.fraction, (uint32_t)stamp) << row.ms;
        EXPECT_EQ(base + row.units100ns, NtpToFileTime(stamp)) << row.ms;
        EXPECT_EQ(row.back, NtpToSystemTime(stamp).wMilliseconds) << row.ms;
    }
    int unchanged = 0;
    for (WORD ms = 0; ms < 1000; ++ms) {
        SYSTEMTIME in = Utc(2040, 1, 1, 0, 0, 0, ms);
        WORD back = NtpToSystemTime(SystemTimeToNtp(&in)).wMilliseconds;
        if (ms % 125 == 0) {
            EXPECT_EQ(ms, back);
            ++unchanged;
        } else {
            EXPECT_EQ(ms - 1, back) << ms;
        }
    }
    EXPECT_EQ(8, unchanged);
}

// 100 ns counts to the wire and back: every unit survives, in both eras and at their edges.
TEST(NtpTime, FileTimeCountsRoundTripExactly)
{
    struct Row {
        uint64_t fileTime;
        NtpTimestamp stamp;
    } rows[] = {
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0) + 1, 0xEEBF97BC000001AEULL},
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0) + 1234, 0xEEBF97BC0008164FULL},
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0) + 5000000, 0xEEBF97BC80000000ULL},
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0) + 9999999, 0xEEBF97BCFFFFFE53ULL},
        {CalendarToFileTime(1968, 1, 20, 3, 14, 8, 0), 0x8000000000000000ULL},
        {CalendarToFileTime(2036, 2, 7, 6, 28, 16, 0) - 1, 0xFFFFFFFFFFFFFE53ULL},
        {CalendarToFileTime(2036, 2, 7, 6, 28, 16, 0), 0},
        {CalendarToFileTime(2036, 2, 7, 6, 28, 16, 0) + 1, 0x1AEULL},
        {CalendarToFileTime(2104, 2, 26, 9, 42, 23, 0) + 9999999, 0x7FFFFFFFFFFFFE53ULL},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.stamp, FileTimeToNtp(row.fileTime)) << row.fileTime;
        EXPECT_EQ(row.fileTime, NtpToFileTime(row.stamp)) << row.fileTime;
    }
    // Every count of the first and last 20,000 units of a second, and a stride through the rest.
    uint64_t base = CalendarToFileTime(2040, 6, 1, 12, 0, 0, 0);
    for (uint64_t units = 0; units < FileTimeUnitsPerSecond; units += units < 20000 ? 1 : 997) {
        ASSERT_EQ(base + units, NtpToFileTime(FileTimeToNtp(base + units))) << units;
        uint64_t last = FileTimeUnitsPerSecond - 1 - units % 20000;
        ASSERT_EQ(base + last, NtpToFileTime(FileTimeToNtp(base + last))) << last;
    }
}

// The clock is set to the millisecond nearest the corrected count, carrying into the calendar.
TEST(NtpTime, NearestMillisecond)
{
    struct Row {
        uint64_t fileTime;
        SYSTEMTIME nearest;
    } rows[] = {
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0) + 4999, Utc(2026, 12, 6, 8, 13, 48, 0)},
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 0) + 5000, Utc(2026, 12, 6, 8, 13, 48, 1)},
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 122) + 9999, Utc(2026, 12, 6, 8, 13, 48, 123)},
        {CalendarToFileTime(2026, 12, 6, 8, 13, 48, 999) + 4999, Utc(2026, 12, 6, 8, 13, 48, 999)},
        {CalendarToFileTime(2026, 12, 31, 23, 59, 59, 999) + 5000, Utc(2027, 1, 1, 0, 0, 0, 0)},
    };
    for (const Row &row : rows) {
        SYSTEMTIME got = FileTime64ToNearestSystemTime(row.fileTime);
        EXPECT_EQ(SystemTimeToFileTime64(&row.nearest), SystemTimeToFileTime64(&got)) << row.fileTime;
    }
}

TEST(NtpTime, TimestampByteOrder)
{
    uint8_t bytes[8];
    HostToNetworkTimestamp(0x0123456789ABCDEFULL, bytes);
    const uint8_t expected[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(0, memcmp(expected, bytes, 8));
    EXPECT_EQ(0x0123456789ABCDEFULL, NetworkToHostTimestamp(bytes));
}

TEST(NtpTime, DecodeSplitsTheFirstByteAndSignExtends)
{
    struct Row {
        uint8_t first, stratum, poll, precision;
        uint32_t leap, version, mode, stratumOut;
        int32_t pollOut, precisionOut;
    } rows[] = {
        {0x24, 1, 6, 0xEC, 0, 4, 4, 1, 6, -20},
        {0x64, 2, 0xFA, 0xE9, 1, 4, 4, 2, -6, -23},
        {0xA3, 0xFF, 0x80, 0x7F, 2, 4, 3, 255, -128, 127},
        {0xFF, 0, 0xFF, 0x00, 3, 7, 7, 0, -1, 0},
        {0x00, 16, 0x11, 0x01, 0, 0, 0, 16, 17, 1},
    };
    for (const Row &row : rows) {
        uint8_t bytes[50] = {row.first, row.stratum, row.poll, row.precision};
        NtpFields fields;
        DecodeNtpPacket(bytes, 48, &fields);
        EXPECT_EQ(row.leap, fields.leap);
        EXPECT_EQ(row.version, fields.version);
        EXPECT_EQ(row.mode, fields.mode);
        EXPECT_EQ(row.stratumOut, fields.stratum);
        EXPECT_EQ(row.pollOut, fields.poll);
        EXPECT_EQ(row.precisionOut, fields.precision);
    }
}

TEST(NtpTime, DecodeReadsEveryFieldInItsPlace)
{
    uint8_t bytes[48];
    for (int i = 0; i < 48; ++i)
        bytes[i] = (uint8_t)(0x10 + i);
    NtpFields fields;
    DecodeNtpPacket(bytes, 48, &fields);
    EXPECT_EQ(0x14151617u, fields.rootDelay);
    EXPECT_EQ(0x18191A1Bu, fields.rootDispersion);
    EXPECT_EQ(0, memcmp(bytes + 12, fields.referenceId, 4));
    EXPECT_EQ(0x2021222324252627ULL, fields.referenceTimestamp);
    EXPECT_EQ(0x28292A2B2C2D2E2FULL, fields.originateTimestamp);
    EXPECT_EQ(0x3031323334353637ULL, fields.receiveTimestamp);
    EXPECT_EQ(0x38393A3B3C3D3E3FULL, fields.transmitTimestamp);
}

TEST(NtpTime, UtcTextForm)
{
    struct Row {
        NtpTimestamp stamp;
        const char *text;
    } rows[] = {
        {0, "2036/02/07 06:28:16.000(UTC)"},
        {0x80000000ULL << 32, "1968/01/20 03:14:08.000(UTC)"},
        {(0xEEBF97BCULL << 32) | 0x1F7CED92u, "2026/12/06 08:13:48.123(UTC)"},
        {(0xEEBF97BCULL << 32) | 0xFFFFFFFFu, "2026/12/06 08:13:48.999(UTC)"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.text, Text(row.stamp));
        EXPECT_EQ(28u, strlen(row.text));
    }
}

TEST(NtpTime, UtcTextStaysInsideASmallBuffer)
{
    char buffer[12];
    memset(buffer, 'x', sizeof buffer);
    FormatNtpTimestamp(0, buffer, 10);
    EXPECT_STREQ("2036/02/0", buffer);
    EXPECT_EQ('x', buffer[10]);
}
