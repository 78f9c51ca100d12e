// Reply evaluation with a fixed clock: validation order, the time checks, the correction
// threshold, the clock error and delay texts, the leap items and when the logs are written.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include "base/wide_text.h"
#include "sntp/exchange_harness.h"
#include "base/elevation.h"
#include "logs/correction_log.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "sntp/clock_edge.h"
#include "sntp/step_check.h"

namespace {

const uint64_t Second = 10000000;
const uint64_t T0 = FileTimeOf(2026, 12, 7, 5, 30, 0, 0);

class ReplyTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetHarness();
        Settings = SettingsRecord();
        Settings.MinAdjust = 100;
        Settings.DispLeap = 1;
        ExchangeRecord.serverName = "127.0.0.1";
        ExchangeRecord.sendStamp = 0xEB0A1B2C12345678ULL;
        SetSendTime(T0);
    }
    void TearDown() override
    {
        CloseExchange();
        CloseSenders();
        UseRealClock();
        TestOutputBox = NULL;
    }
    static void SetSendTime(uint64_t fileTime)
    {
        ExchangeRecord.sendTime = fileTime;
        ExchangeRecord.stampTime = fileTime;
    }
    // t1 is T0; t4 and the fresh reading come from the fixed clock.
    int Evaluate(const uint8_t *reply, uint64_t t4, uint64_t fresh = 0)
    {
        UseFixedClock({t4, fresh != 0 ? fresh : t4});
        return DeliverAndProcess(reply, 48);
    }
};

NtpFields ValidFields(void)
{
    NtpFields fields = {};
    fields.leap = 0;
    fields.version = 4;
    fields.mode = 4;
    fields.stratum = 2;
    fields.originateTimestamp = ExchangeRecord.sendStamp;
    fields.receiveTimestamp = 0xEB0A1B2C00000000ULL;
    fields.transmitTimestamp = 0xEB0A1B2C10000000ULL;
    return fields;
}

TEST_F(ReplyTest, ValidationRefusesInItsOrder)
{
    struct Row {
        const char *name;
        void (*spoil)(NtpFields *);
        const char *message;
    } rows[] = {
        {"valid", [](NtpFields *) {}, ""},
        {"leap 3 alone passes", [](NtpFields *f) { f->leap = 3; }, ""},
        {"stratum 14 passes", [](NtpFields *f) { f->stratum = 14; }, ""},
        {"stratum 1 passes", [](NtpFields *f) { f->stratum = 1; }, ""},
        {"version 3 before everything",
         [](NtpFields *f) { f->version = 3; f->mode = 5; f->stratum = 0; f->transmitTimestamp = 0; },
         "ｴﾗｰ:ｻｰﾊﾞｰのﾊﾞｰｼﾞｮﾝが違います。"},
        {"version 5", [](NtpFields *f) { f->version = 5; }, "ｴﾗｰ:ｻｰﾊﾞｰのﾊﾞｰｼﾞｮﾝが違います。"},
        {"mode before era", [](NtpFields *f) { f->mode = 3; f->receiveTimestamp ^= 1ULL << 63; },
         "ｴﾗｰ:ｻｰﾊﾞｰのﾓｰﾄﾞが違います。"},
        {"era before stratum",
         [](NtpFields *f) { f->receiveTimestamp ^= 1ULL << 63; f->stratum = 0; },
         "ｴﾗｰ:ﾀｲﾑｽﾀﾝﾌﾟｵｰﾊﾞｰﾌﾛｰ"},
        {"stratum before transmit",
         [](NtpFields *f) { f->stratum = 15; f->transmitTimestamp = 0; f->receiveTimestamp = 0; },
         "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。"},
        {"stratum 16 with leap 3", [](NtpFields *f) { f->stratum = 16; f->leap = 3; },
         "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。"},
        {"zero transmit before origin",
         [](NtpFields *f) { f->transmitTimestamp = 0; f->receiveTimestamp = 0; f->originateTimestamp = 1; },
         "ｴﾗｰ:送信ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。"},
        {"transmit with only a fraction passes", [](NtpFields *f) { f->transmitTimestamp = 1; f->receiveTimestamp = 0; }, ""},
        {"zero transmit in this era fails the era check",
         [](NtpFields *f) { f->transmitTimestamp = 0; }, "ｴﾗｰ:ﾀｲﾑｽﾀﾝﾌﾟｵｰﾊﾞｰﾌﾛｰ"},
        {"origin one bit off", [](NtpFields *f) { f->originateTimestamp ^= 1; },
         "ｴﾗｰ:基点ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。"},
        {"origin without the random bits",
         [](NtpFields *f) { f->originateTimestamp &= ~0x3FFFFFULL; }, "ｴﾗｰ:基点ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。"},
        {"kiss names its code", [](NtpFields *f) { f->stratum = 0; memcpy(f->referenceId, "DENY", 4); },
         "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(DENY)"},
        {"kiss code bytes not printable",
         [](NtpFields *f) { f->stratum = 0; memcpy(f->referenceId, "RA\x01\xff", 4); },
         "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(RA..)"},
        {"kiss not echoing the request is no kiss",
         [](NtpFields *f) { f->stratum = 0; memcpy(f->referenceId, "DENY", 4); f->originateTimestamp ^= 1; },
         "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。"},
        {"root distance 1.5 s", [](NtpFields *f) { f->rootDelay = 0x10000; f->rootDispersion = 0x10000; },
         "ｴﾗｰ:ｻｰﾊﾞｰの時刻の精度が低すぎます。"},
        {"root distance just below 1.5 s passes",
         [](NtpFields *f) { f->rootDelay = 0x2FFFF; f->rootDispersion = 0; }, ""},
        {"root distance of fields near their top", [](NtpFields *f) { f->rootDispersion = 0xFFFFFFFF; },
         "ｴﾗｰ:ｻｰﾊﾞｰの時刻の精度が低すぎます。"},
        {"origin before root distance",
         [](NtpFields *f) { f->rootDispersion = 0x20000; f->originateTimestamp ^= 1; }, "ｴﾗｰ:基点ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。"},
        {"leap 3 is told as unsynchronised, whatever its distance",
         [](NtpFields *f) { f->leap = 3; f->rootDispersion = 0x20000; }, ""},
    };
    TestOutputBox = HarnessOutputBox();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SetWindowTextA(TestOutputBox, "");
        ExchangeRecord.ResultMessage[0] = '\0';
        NtpFields fields = ValidFields();
        row.spoil(&fields);
        EXPECT_EQ(row.message[0] ? -1 : 0, ValidateReply(&fields));
        EXPECT_STREQ(row.message, ExchangeRecord.ResultMessage);
        std::vector<std::string> lines = OutputLines();
        EXPECT_EQ(row.message[0] ? 1u : 0u, lines.size());
    }
}

TEST_F(ReplyTest, ClockErrorTextFromOffsets)
{
    struct Row {
        int64_t offset;
        const char *text;
    } rows[] = {
        {0, "0.000"},
        {1234567, "-0.123"},
        {-50000000, "5.000"},
        {9999, "-0.000"},
        {-9999, "0.000"},
        {10000, "-0.001"},
        {-12345678901234LL, "1234567.890"},
        {12345678901234LL, "-1234567.890"},
        {-9999999990000LL, "999999.999"},
        {-10000000000000LL, "1000000.000"},
        {-10000000000001LL, "1000000.000"},
        {-((int64_t)4000000000 * 10000000), "4000000000.000"},
    };
    for (const Row &row : rows) {
        BuildClockErrorText(row.offset);
        EXPECT_STREQ(row.text, ClockErrorText) << row.offset;
    }
}

TEST_F(ReplyTest, DelayLine)
{
    struct Row {
        int64_t delay;
        const char *line;
    } rows[] = {
        {0, "往復の遅延時間=0.5msec"},
        {-10000, "往復の遅延時間=0sec"},
        {-1, "往復の遅延時間=0sec"},
        {123456, "往復の遅延時間=12.8msec"},
        {20000000, "往復の遅延時間=2000.5msec"},
    };
    TestOutputBox = HarnessOutputBox();
    for (const Row &row : rows) {
        SetWindowTextA(TestOutputBox, "");
        AppendDelayLine(row.delay);
        std::vector<std::string> lines = OutputLines();
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(row.line, lines[0]);
    }
    TestOutputBox = NULL;
    SetWindowTextA(HarnessOutputBox(), "");
    AppendDelayLine(0);
    EXPECT_TRUE(OutputLines().empty());
}

// Offsets with exact NTP fractions (whole and half seconds) reach the threshold exactly.
TEST_F(ReplyTest, CorrectionThresholdAndMessages)
{
    struct Row {
        int64_t offset;
        int minAdjust;
        BOOL setResult;
        int corrected;
        const char *message;
    } rows[] = {
        {(int64_t)Second, 1000, TRUE, 1, "-1.000 秒の誤差を補正しました。"},
        {(int64_t)Second, 1001, TRUE, 0, "時計の誤差は -1.000 秒です。"},
        {-(int64_t)Second / 2, 500, TRUE, 1, "0.500 秒の誤差を補正しました。"},
        {-(int64_t)Second / 2, 501, TRUE, 0, "時計の誤差は 0.500 秒です。"},
        {0, 0, TRUE, 1, "0.000 秒の誤差を補正しました。"},
        {0, 100, TRUE, 0, "時計の誤差は 0.000 秒です。"},
        {3 * (int64_t)Second, 100, FALSE, 1, "時計を変更できませんでした。誤差は -3.000 秒です。"},
    };
    char reason[256];
    WindowsErrorText(ERROR_PRIVILEGE_NOT_HELD, reason, sizeof reason);
    const uint64_t fresh = T0 + 7 * Second;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        Settings.MinAdjust = row.minAdjust;
        ClockSettings.clear();
        ClockSettingResult = row.setResult;
        CorrectionFailed = 0;
        uint8_t reply[48];
        BuildReply(reply, T0 + row.offset, T0 + row.offset);
        ASSERT_EQ(0, Evaluate(reply, T0, fresh));
        EXPECT_EQ(row.offset, ClockOffset);
        // A failed setting adds the Windows error's text.
        EXPECT_EQ(std::string(row.message) + (row.setResult || !reason[0] ? "" : " ") +
                      (row.setResult ? "" : reason), ExchangeRecord.ResultMessage);
        EXPECT_EQ(0, ExchangeRecord.ExchangeFailed);
        EXPECT_EQ(row.setResult ? 0 : 1, CorrectionFailed);
        ASSERT_EQ(row.corrected ? 1u : 0u, ClockSettings.size());
        if (row.corrected) {
            FILETIME set;
            SystemTimeToFileTime(&ClockSettings[0], &set);
            uint64_t value = ((uint64_t)set.dwHighDateTime << 32) | set.dwLowDateTime;
            EXPECT_EQ(fresh + row.offset, value);   // the fresh reading, not t4
        }
        EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);
        EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
    }
}

// Fresh readings plus the offset: the millisecond just crossed (a reading more than 1 us past
// it was held up, so the next is awaited); a clock standing still gets the nearest one.
TEST_F(ReplyTest, CorrectionSetsTheMillisecondJustCrossed)
{
    struct Row {
        std::vector<uint64_t> fresh;    // 100 ns units after T0 + 7 s, the last repeating
        uint64_t set;
        uint64_t step = 0;              // or the clock going on by this much a reading
    } rows[] = {
        {{0}, 0}, {{4999, 9999, 10050}, 10000}, {{1, 10099}, 10000},
        {{5000, 10100, 19990, 20000}, 20000}, {{4999}, 0}, {{5000}, 10000},
        // A running clock: the first edge crossed, never the nearest millisecond of a later reading.
        {{9990}, 10000, 7}, {{9990, 10099}, 10000, 7}, {{9990, 10100}, 20000, 7},
    };
    Settings.MinAdjust = 0;
    for (const Row &row : rows) {
        ClockSettings.clear();
        uint8_t reply[48];
        BuildReply(reply, T0 + Second, T0 + Second);
        std::vector<uint64_t> readings = {T0};
        for (uint64_t fresh : row.fresh)
            readings.push_back(T0 + 7 * Second + fresh);
        UseFixedClock(readings, row.step);
        ASSERT_EQ(0, DeliverAndProcess(reply, 48));
        ASSERT_EQ(1u, ClockSettings.size()) << row.set;
        EXPECT_EQ(T0 + 8 * Second + row.set, SystemTimeToFileTime64(&ClockSettings[0])) << row.set;
    }
}

TEST(ClockEdge, FirstWholeMillisecondAtOrAfterTheCorrectedTime)
{
    struct Row {
        uint64_t now;
        int64_t offset;
        uint64_t edge;
    } rows[] = {
        {FileTimeOf(2026, 12, 7, 5, 30, 0, 0), 0, FileTimeOf(2026, 12, 7, 5, 30, 0, 0)},
        {FileTimeOf(2026, 12, 7, 5, 30, 0, 0) + 1, 0, FileTimeOf(2026, 12, 7, 5, 30, 0, 1)},
        {FileTimeOf(2026, 12, 7, 5, 30, 0, 0) + 9999, 0, FileTimeOf(2026, 12, 7, 5, 30, 0, 1)},
        {FileTimeOf(2026, 12, 7, 5, 30, 0, 0) + 3, -3, FileTimeOf(2026, 12, 7, 5, 30, 0, 0)},
        {FileTimeOf(2026, 12, 7, 5, 30, 0, 0) + 3, -4, FileTimeOf(2026, 12, 7, 5, 30, 0, 0)},
        {FileTimeOf(2026, 12, 7, 5, 30, 0, 0), 50000001, FileTimeOf(2026, 12, 7, 5, 30, 5, 1)},
        {FileTimeOf(2026, 12, 7, 23, 59, 59, 999) + 5000, 5000, FileTimeOf(2026, 12, 8, 0, 0, 0, 0)},
        {FileTimeOf(2027, 1, 1, 0, 0, 0, 0) + 1, -10001, FileTimeOf(2026, 12, 31, 23, 59, 59, 999)},
        {FileTimeOf(2027, 1, 1, 0, 0, 0, 0) + 1, -10002, FileTimeOf(2026, 12, 31, 23, 59, 59, 999)},
        {FileTimeOf(2026, 12, 31, 23, 59, 59, 0), 10000001, FileTimeOf(2027, 1, 1, 0, 0, 0, 1)},
        {FileTimeOf(2028, 2, 28, 23, 59, 59, 999) + 1, 9999, FileTimeOf(2028, 2, 29, 0, 0, 0, 0)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.now << " " << row.offset);
        EXPECT_EQ(row.edge, NextEdge(row.now, row.offset));
    }
}

TEST(StepCheck, AgreementRule)
{
    const int64_t S = 10000000, Years = 94608000 * S;
    struct Row {
        const char *name;
        std::vector<int64_t> offsets;   // -1 marks a failure
        int list, confirmStep, verdict, from;
    } rows[] = {
        {"small step", {1000 * S}, 4, 1000, StepSet, 0},
        {"limit 0", {Years}, 4, 0, StepSet, 0},
        {"large step asks", {-1000 * S - 1}, 4, 1000, StepAskNext, 0},
        {"agree", {2000 * S, 2001 * S}, 4, 1000, StepSet, 1},
        {"a second and more apart", {2000 * S, 2001 * S + 1}, 4, 1000, StepAskNext, 0},
        {"disagree then agree", {Years, 0, S / 2}, 4, 1000, StepSet, 2},
        {"disagree then agree with the first", {2000 * S, 0, 2000 * S}, 4, 1000, StepSet, 2},
        {"one server", {Years}, 1, 1000, StepRefuse, 0},
        {"two servers disagree", {Years, 0}, 2, 1000, StepRefuse, 0},
        {"a failure agrees with nothing", {2000 * S, -1}, 8, 1000, StepAskNext, 0},
        {"failures up to four servers", {2000 * S, -1, -1, -1}, 8, 1000, StepRefuse, 0},
        {"four at most", {Years, 0, 30 * S, 60 * S}, 8, 1000, StepRefuse, 0},
        {"limit 1 checks 2 s", {2 * S}, 4, 1, StepAskNext, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        StepAnswer answers[StepServersMax] = {};
        for (size_t i = 0; i < row.offsets.size(); ++i) {
            answers[i].answered = row.offsets[i] != -1;
            answers[i].offset = row.offsets[i] != -1 ? row.offsets[i] : 2000 * S;
        }
        int from = -1;
        EXPECT_EQ(row.verdict, StepAgreement(answers, (int)row.offsets.size(), row.list,
                                             row.confirmStep, &from));
        EXPECT_EQ(row.from, from);
    }
}

// The step under way, call by call (F a failure): a server that failed is asked but never an
// answer, and a failure told outside a check or past four servers changes nothing.
TEST(StepCheck, AnswersAndFailuresOfTheStepUnderWay)
{
    const int64_t S = 10000000, F = INT64_MIN;
    const int Set = StepSet, Ask = StepAskNext, No = StepRefuse;
    struct Row { int list; std::vector<int64_t> offsets; std::vector<int> verdicts; int asked; } rows[] = {
        {4, {2000 * S, F, 0}, {Ask, Ask, Ask}, 3},              // no answer of 0 s
        {4, {2000 * S, F, 2000 * S}, {Ask, Ask, Set}, 3},       // a silent first opinion
        {4, {F}, {No}, 0},
        {8, {2000 * S, F, F, F, F}, {Ask, Ask, Ask, No, No}, 4},
    };
    Settings.ConfirmStep = 1000;
    for (const Row &row : rows) {
        StartStepCheck(row.list);
        for (size_t i = 0; i < row.offsets.size(); ++i) {
            sockaddr_storage address = {};
            ParseAddressLiteral(("127.0.0." + std::to_string(i + 1)).c_str(), &address);
            EXPECT_EQ(row.verdicts[i], row.offsets[i] == F ? StepCheckFailed("x")
                                                           : WeighStep(row.offsets[i], &address, "x")) << i;
        }
        EXPECT_EQ(row.asked, StepServersAsked());
        EXPECT_EQ(row.verdicts.back() == Ask, StepCheckPending());
    }
    StartStepCheck(1);
}

TEST_F(ReplyTest, TimeChecksAndOffsetArithmetic)
{
    const int64_t S = (int64_t)Second;
    struct Row {
        const char *name;
        int64_t t2, t3, t4;     // relative to t1 = T0; fractions exact in NTP and FILETIME units
        int failed;
        int64_t offset;
        const char *delayLine;
        int64_t stamp = 0;      // the reading before the send, relative to T0
    } rows[] = {
        {"symmetric", 5 * S, 5 * S + 156250, 300000, 0, 5 * S - 71875, "往復の遅延時間=14.9msec"},
        {"round trip exactly 2 s", 0, 0, 2 * S, 0, -S, nullptr},
        {"round trip 2.001 s", 0, 0, 2 * S + 10000, 1, -S - 5000, nullptr},
        {"clock went backwards", 0, 0, -10000, 1, 5000, nullptr},
        {"reply in before t1's reading: the one before the send", 0, 0, -10000, 0, 15000,
         "往復の遅延時間=1.5msec", -20000},
        {"t2 after t3", 156250, 0, 0, 1, 78125, nullptr},
        {"server slower than round trip", 0, 78125, 10000, 0, 34062, "往復の遅延時間=0sec"},
        {"instants below the millisecond kept", 5 * S + 78125, 5 * S + 78125, 1234, 0,
         5 * S + 78125 - 617, "往復の遅延時間=0.6msec"},
    };
    TestOutputBox = HarnessOutputBox();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SetWindowTextA(TestOutputBox, "");
        uint8_t reply[48];
        BuildReply(reply, T0 + row.t2, T0 + row.t3);
        ExchangeRecord.stampTime = T0 + row.stamp;
        ASSERT_EQ(row.failed, Evaluate(reply, T0 + row.t4));
        EXPECT_EQ(row.offset, ClockOffset);
        std::vector<std::string> lines = OutputLines();
        ASSERT_GE(lines.size(), 2u);
        if (row.failed) {
            EXPECT_STREQ("エラー：通信中の時刻修正を検出", ExchangeRecord.ResultMessage);
            EXPECT_EQ("通信失敗", lines.back());
        } else {
            EXPECT_EQ("通信成功", lines.back());
        }
        if (row.delayLine != nullptr) {
            EXPECT_EQ(row.delayLine, lines[lines.size() - 3]);
        }
    }
}

TEST_F(ReplyTest, LeapItems)
{
    const uint64_t midnight = FileTimeOf(2026, 12, 31, 0, 0, 0, 0);
    struct Row {
        const char *name;
        int dispLeap;
        int leap;
        uint64_t stamp;
        int announced, atMidnight;
    } rows[] = {
        {"insertion during the day", 1, 1, T0, 1, 0},
        {"insertion at midnight", 1, 1, midnight + 9990000, 1, 1},
        {"insertion one second after midnight", 1, 1, midnight + Second, 1, 0},
        {"deletion at midnight", 1, 2, midnight, 1, 0},
        {"no leap", 1, 0, T0, 0, 0},
        {"display off", 0, 1, midnight, 0, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Settings.DispLeap = row.dispLeap;
        LeapAnnounced = LeapAtMidnight = LeapNoticeSeconds = LeapRecheckTicks = 7;
        SetSendTime(row.stamp);
        uint8_t reply[48];
        BuildReply(reply, row.stamp, row.stamp, row.leap);
        ASSERT_EQ(0, Evaluate(reply, row.stamp));
        EXPECT_EQ(row.announced, LeapAnnounced);
        EXPECT_EQ(row.atMidnight, LeapAtMidnight);
        EXPECT_EQ(row.announced ? 30 : 0, LeapNoticeSeconds);
        EXPECT_EQ(row.announced ? 240 : 0, LeapRecheckTicks);
        if (row.announced) {
            SYSTEMTIME expected;
            FILETIME value = {(DWORD)row.stamp, (DWORD)(row.stamp >> 32)};
            FileTimeToSystemTime(&value, &expected);
            EXPECT_EQ(expected.wDay, LeapDate.wDay);
            EXPECT_EQ(expected.wSecond, LeapDate.wSecond);
        }
    }
}

TEST_F(ReplyTest, LeapThreeFailsWithoutATestLineOfItsOwn)
{
    TestOutputBox = HarnessOutputBox();
    uint8_t reply[48];
    BuildReply(reply, T0, T0, 3);
    EXPECT_EQ(1, Evaluate(reply, T0));
    EXPECT_STREQ("ｴﾗｰ:ｻｰﾊﾞｰの時計が同期していません。", ExchangeRecord.ResultMessage);
    EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
    EXPECT_TRUE(ClockSettings.empty());
    std::vector<std::string> lines = OutputLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("サーバーの時計が同期していません", lines[1]);
    EXPECT_EQ("Destination Timestamp=", lines[lines.size() - 2].substr(0, 22));
    EXPECT_EQ("通信失敗", lines.back());
}

TEST_F(ReplyTest, DatagramFromAnotherPortIsDroppedAndTheExchangeWaits)
{
    uint8_t reply[48];
    BuildReply(reply, T0, T0);
    UseFixedClock({T0});
    ASSERT_EQ(-1, DeliverAndProcess(reply, 48, 0));
    EXPECT_EQ(ExchangeAwaitingReply, ExchangeRecord.phase);
    EXPECT_NE(INVALID_SOCKET, ExchangeRecord.socket);
    EXPECT_STREQ("", ExchangeRecord.ResultMessage);
    // Oversized strangers are dropped too, not taken for a failed receive of the server's.
    uint8_t big[60] = {0};
    ASSERT_EQ(-1, DeliverAndProcess(big, sizeof big, 0));
    EXPECT_EQ(ExchangeAwaitingReply, ExchangeRecord.phase);
    // A read notification with nothing to read keeps the exchange waiting as well.
    u_long nonBlocking = 1;
    ioctlsocket(ExchangeRecord.socket, FIONBIO, &nonBlocking);
    ReceivedDatagram nothing;
    ReceiveDatagram(ExchangeRecord.socket, ReadUtcNow(), &nothing);
    EXPECT_EQ(-1, ProcessReply(&nothing));
    EXPECT_EQ(ExchangeAwaitingReply, ExchangeRecord.phase);
    EXPECT_STREQ("", ExchangeRecord.ResultMessage);
    CloseExchange();
}

// Log files in a private folder, stamped in a year nobody else writes.
class ReplyLogTest : public ReplyTest {
protected:
    void SetUp() override
    {
        ReplyTest::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        snprintf(folder, sizeof folder, "%svm-exchange-logs-%lu\\", temp, GetCurrentProcessId());
        CreateDirectoryA(folder, NULL);
        TextToWide(folder, ProgramDirectory, MAX_PATH);
        savedTime = LogLocalTimeSource;
        LogLocalTimeSource = FixedLocalTime;
        savedBox = LogErrorBox;
        LogErrorBox = CountErrorBox;
        errorBoxes = 0;
        snprintf(csvPath, sizeof csvPath, "%svellmarin-log-2031.csv", folder);
        snprintf(eventPath, sizeof eventPath, "%svellmarin-eventlog-2031.txt", folder);
    }
    void TearDown() override
    {
        DeleteFileA(csvPath);
        DeleteFileA(eventPath);
        RemoveDirectoryA(folder);
        LogLocalTimeSource = savedTime;
        LogErrorBox = savedBox;
        EXPECT_EQ(0, errorBoxes);
        ReplyTest::TearDown();
    }
    static void WINAPI FixedLocalTime(LPSYSTEMTIME time)
    {
        *time = SYSTEMTIME{2031, 3, 0, 4, 12, 0, 0, 0};
    }
    static int WINAPI CountErrorBox(HWND, LPCSTR, LPCSTR, UINT)
    {
        errorBoxes++;
        return IDOK;
    }
    static int LineCount(const char *path)
    {
        FILE *file = fopen(path, "rb");
        if (file == NULL)
            return -1;
        int lines = 0;
        for (int c; (c = fgetc(file)) != EOF;)
            lines += c == '\n';
        fclose(file);
        return lines;
    }
    char folder[MAX_PATH];
    char csvPath[MAX_PATH + 32];
    char eventPath[MAX_PATH + 32];
    void (WINAPI *savedTime)(LPSYSTEMTIME);
    int (WINAPI *savedBox)(HWND, LPCSTR, LPCSTR, UINT);
    static int errorBoxes;
};
int ReplyLogTest::errorBoxes;

TEST_F(ReplyLogTest, LogsAreWrittenOnlyWhenAsked)
{
    struct Row {
        int saveLog, saveEventLog, leap;
        int csvLines;       // header and entry; -1: no file
        int eventLog;       // the event log file exists
        int imprecise = 0;  // root dispersion 2 s: refused
    } rows[] = {
        {0, 0, 1, -1, 0},
        {1, 0, 1, 2, 0},
        {0, 1, 0, -1, 0},
        {1, 1, 0, 2, 0},
        {0, 1, 1, -1, 1},
        {0, 1, 2, -1, 1},
        {1, 1, 3, -1, 1},
        {1, 0, 3, -1, 0},
        {1, 1, 0, -1, 1, 1},
        {1, 0, 0, -1, 0, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.saveLog << row.saveEventLog << row.leap << row.imprecise);
        DeleteFileA(csvPath);
        DeleteFileA(eventPath);
        Settings.SaveLog = row.saveLog;
        Settings.SaveEventLog = row.saveEventLog;
        uint8_t reply[48];
        BuildReply(reply, T0, T0, row.leap);
        reply[9] = row.imprecise ? 2 : 0;
        Evaluate(reply, T0);
        EXPECT_EQ(row.csvLines, LineCount(csvPath));
        EXPECT_EQ(row.eventLog, GetFileAttributesA(eventPath) != INVALID_FILE_ATTRIBUTES);
    }
}


std::string ReadFile(const char *path)
{
    std::string bytes;
    FILE *file = fopen(path, "rb");
    if (file == NULL)
        return "<missing>";
    for (int c; (c = fgetc(file)) != EOF;)
        bytes += (char)c;
    fclose(file);
    return bytes;
}

// What a real reply leaves in the logs: the correction log's value is the clock-error text; the
// event log names the server and its address, dumps all 48 bytes and gives t4 and the error.
TEST_F(ReplyLogTest, EntriesCarryTheValuesOfTheReply)
{
    Settings.SaveLog = 1;
    Settings.SaveEventLog = 1;
    uint8_t reply[48];
    BuildReply(reply, T0 + 2 * Second, T0 + 2 * Second, 1);
    ASSERT_EQ(0, Evaluate(reply, T0 + Second / 2));
    EXPECT_STREQ("-1.750", ClockErrorText);
    std::string csv = ReadFile(csvPath);
    EXPECT_EQ("2031/03/04 12:00:00,-1.750\r\n", csv.substr(csv.find('\n') + 1));

    std::string events = ReadFile(eventPath);
    for (const char *line : {"Server Name : 127.0.0.1\r\n", "IP address  : 127.0.0.1\r\n",
                             "Destination Timestamp : 2026/12/07 05:30:00.500(UTC)\r\n",
                             "Time Difference       : -1.750sec\r\n"})
        EXPECT_NE(std::string::npos, events.find(line)) << line << events;
    for (int row = 0; row < 3; row++) {
        char hex[64];
        int used = snprintf(hex, sizeof hex, "\n%X0", row);
        for (int j = 0; j < 16; j++)
            used += snprintf(hex + used, sizeof hex - used, "%s %02X", j == 8 ? " -" : "",
                             reply[row * 16 + j]);
        EXPECT_NE(std::string::npos, events.find(hex)) << hex << events;
    }
    EXPECT_EQ(std::string::npos, events.find("\n30 ")) << "a fourth dump row";

    // A server reached over IPv6 is named by its address's usual text form.
    DeleteFileA(eventPath);
    ExchangeRecord.serverName = "v6only.vellmarin.test";
    UseFixedClock({T0 + Second / 2});
    ASSERT_EQ(0, DeliverAndProcess(reply, 48, 123, AF_INET6));
    events = ReadFile(eventPath);
    EXPECT_NE(std::string::npos,
              events.find("Server Name : v6only.vellmarin.test\r\nIP address  : ::1\r\n"))
        << events;
}
}  // namespace

namespace {

// What the receive relies on: a datagram longer than the buffer is one error (WSAEMSGSIZE) that
// still names its source, and it is consumed whole, so the next receive gets the next datagram.
TEST(DatagramReceiveTest, OversizedDatagramIsAMessageSizeErrorThatNamesItsSource)
{
    SOCKET pair[2];
    struct sockaddr_in address[2];
    for (int i = 0; i < 2; i++) {
        pair[i] = socket(AF_INET, SOCK_DGRAM, 0);
        address[i] = {};
        address[i].sin_family = AF_INET;
        address[i].sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, bind(pair[i], (struct sockaddr *)&address[i], sizeof address[i]));
        int length = sizeof address[i];
        getsockname(pair[i], (struct sockaddr *)&address[i], &length);
    }
    char data[64] = {0};
    sendto(pair[0], data, 51, 0, (struct sockaddr *)&address[1], sizeof address[1]);
    sendto(pair[0], data, 48, 0, (struct sockaddr *)&address[1], sizeof address[1]);
    struct sockaddr_in from = {};
    int fromLength = sizeof from;
    EXPECT_EQ(SOCKET_ERROR, recvfrom(pair[1], data, 50, 0, (struct sockaddr *)&from, &fromLength));
    EXPECT_EQ(WSAEMSGSIZE, WSAGetLastError());
    EXPECT_EQ(address[0].sin_port, from.sin_port);
    EXPECT_EQ(48, recvfrom(pair[1], data, 50, 0, (struct sockaddr *)&from, &fromLength));
    closesocket(pair[0]);
    closesocket(pair[1]);
}

}  // namespace
