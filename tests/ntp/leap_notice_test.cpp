// Tests of the leap-second notice (with the time-zone bias replaced) and of the scaled value text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "ntp/leap_notice.h"

static long TestBias;
static long FixedBias(void) { return TestBias; }

static NtpTimestamp Stamp(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                          WORD ms)
{
    SYSTEMTIME t = CalendarTime(year, month, day, hour, minute, second, ms);
    return SystemTimeToNtp(&t);
}

TEST(LeapNotice, NamesTheLocalMinuteOfTheLeapSecond)
{
    struct Row {
        uint32_t leap;
        NtpTimestamp transmit;
        long bias;
        const char *notice;
    } rows[] = {
        {1, Stamp(2016, 12, 31, 10, 0, 0, 0), -32400, "2017/1/1 8:59 にうるう秒が挿入されます。"},
        {1, Stamp(2016, 12, 31, 10, 0, 0, 0), 0, "2016/12/31 23:59 にうるう秒が挿入されます。"},
        {2, Stamp(2015, 6, 30, 12, 0, 0, 0), -32400, "2015/7/1 8:59 にうるう秒が削除されます。"},
        {1, Stamp(2016, 12, 31, 10, 0, 0, 0), 18000, "2016/12/31 18:59 にうるう秒が挿入されます。"},
        {1, Stamp(2016, 12, 31, 0, 0, 1, 0), 0, "2016/12/31 23:59 にうるう秒が挿入されます。"},
        {1, Stamp(2017, 1, 1, 0, 0, 0, 300), -32400, "うるう秒が挿入されます。"},
        {2, Stamp(2017, 1, 1, 0, 0, 0, 0), 0, "うるう秒が削除されます。"},
    };
    long (*saved)(void) = TimeZoneBiasSource;
    TimeZoneBiasSource = FixedBias;
    for (const Row &row : rows) {
        NtpFields fields;
        memset(&fields, 0, sizeof fields);
        fields.leap = row.leap;
        fields.transmitTimestamp = row.transmit;
        TestBias = row.bias;
        strcpy(LeapNotice, "stale");
        BuildLeapNotice(&fields);
        EXPECT_STREQ(row.notice, LeapNotice);
    }
    TimeZoneBiasSource = saved;
}

TEST(LeapNotice, DefaultBiasFollowsTheRuntimeZone)
{
    const char *zone = getenv("TZ");
    if (zone == NULL || strcmp(zone, "JST-9") != 0)
        GTEST_SKIP() << "runs under TZ=JST-9";
    EXPECT_EQ(-32400, TimeZoneBiasSource());
}

TEST(ScaledValue, PicksTheScaleByMagnitude)
{
    struct Row {
        double seconds;
        const char *text;
    } rows[] = {
        {64, "64.00"},
        {1, "1.00"},
        {0, "0.00"},
        {-0.0, "0.00"},
        {0.5, "500.00m"},
        {-0.25, "-250.00m"},
        {0.001, "1.00m"},
        {0.000001, "1.00\x83\xCA"},
        {0.000152587890625, "152.59\x83\xCA"},
        {1.0 / 1048576, "953.67n"},
        {-1.0 / 1048576, "-953.67n"},
        {2621.0 / 65536, "39.99m"},
        {4294967295.0 / 65536, "65536.00"},
    };
    for (const Row &row : rows) {
        char out[100];
        EXPECT_STREQ(row.text, FormatScaledValue(out, sizeof out, row.seconds)) << row.seconds;
    }
}

TEST(ScaledValue, MicroSignIsTheCodePage932Pair)
{
    char out[100];
    FormatScaledValue(out, sizeof out, 0.0005);
    EXPECT_EQ(8u, strlen(out));
    EXPECT_EQ('\x83', out[6]);
    EXPECT_EQ('\xCA', out[7]);
}
