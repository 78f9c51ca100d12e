// Whole exchanges over real loopback sockets against the in-process fake server: start-up
// checks, replies of every shape, time-outs, stale messages, forgeries and the one-minute rule.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <string.h>
#include <string>
#include "base/wide_text.h"
#include "sntp/exchange_harness.h"
#include "base/program.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/kiss_memory.h"
#include "sntp/host_lookup.h"
#include "sntp/reply.h"
#include "sntp/step_check.h"
#include "support/fake_ntp_server.h"

namespace {

struct NetworkEnvironment : testing::Environment {
    void SetUp() override { StartNetwork(); }
    void TearDown() override { StopNetwork(); }
};
testing::Environment *const network = testing::AddGlobalTestEnvironment(new NetworkEnvironment);

// How the fake server bends its reply; every zero field leaves the reply as it is.
struct ReplyShape {
    int length;             // bytes sent (0 keeps 48)
    int firstByte;          // LI/VN/mode byte (0 keeps 0x24)
    int stratum;            // -1 keeps 2
    int zeroTransmit;       // zeroes the Receive stamp too, or the era check refuses first
    uint8_t originateFlip;  // XORed into the last byte of the Originate Timestamp
    int receiveOtherEra;    // flips bit 31 of the Receive Timestamp's seconds
    int receiveAfterTransmit;
};

void ApplyShape(uint8_t *reply, int *length, void *context)
{
    const ReplyShape *shape = (const ReplyShape *)context;
    if (shape->length != 0)
        *length = shape->length;
    for (int i = 48; i < FakeReplyCapacity; i++)
        reply[i] = (uint8_t)i;
    if (shape->firstByte != 0)
        reply[0] = (uint8_t)shape->firstByte;
    if (shape->stratum >= 0)
        reply[1] = (uint8_t)shape->stratum;
    if (shape->zeroTransmit)
        memset(reply + 32, 0, 16);
    reply[31] ^= shape->originateFlip;
    if (shape->receiveOtherEra)
        reply[32] ^= 0x80;
    if (shape->receiveAfterTransmit)
        reply[35] += 1;     // one second later than the Transmit Timestamp
}

class ExchangeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetHarness();
        Settings = SettingsRecord();
        Settings.MinAdjust = 100;
        FakeNtpServerConfig config = {};
        ASSERT_EQ(0, FakeNtpServerStart(&config)) << "127.0.0.1:123 or [::1]:123 is taken";
    }
    void TearDown() override
    {
        CloseExchange();
        FakeNtpServerStop();
        TestOutputBox = NULL;
    }
    void Serve(const FakeNtpServerConfig &config) { FakeNtpServerConfigure(&config); }
    void ServeShape(ReplyShape *shape)
    {
        FakeNtpServerConfig config = {};
        config.shape = ApplyShape;
        config.context = shape;
        Serve(config);
    }
};

TEST_F(ExchangeTest, RepliesOfEveryShapeEndWithTheirMessage)
{
    const char *const ok = "時計の誤差は ";
    struct Row {
        const char *name;
        ReplyShape shape;
        const char *message;    // prefix of ResultMessage
        int failed;
    } rows[] = {
        {"plain", {0, 0, -1, 0, 0, 0, 0}, ok, 0},
        {"47 bytes", {47, 0, -1, 0, 0, 0, 0}, "エラー:受信データ長エラー", 1},
        {"48 bytes", {48, 0, -1, 0, 0, 0, 0}, ok, 0},
        {"49 bytes", {49, 0, -1, 0, 0, 0, 0}, ok, 0},
        {"50 bytes", {50, 0, -1, 0, 0, 0, 0}, ok, 0},
        {"51 bytes", {51, 0, -1, 0, 0, 0, 0}, "エラー:データ受信失敗。", 1},
        {"600 bytes", {600, 0, -1, 0, 0, 0, 0}, "エラー:データ受信失敗。", 1},
        {"version 3", {0, 0x1C, -1, 0, 0, 0, 0}, "ｴﾗｰ:ｻｰﾊﾞｰのﾊﾞｰｼﾞｮﾝが違います。", 1},
        {"mode 5", {0, 0x25, -1, 0, 0, 0, 0}, "ｴﾗｰ:ｻｰﾊﾞｰのﾓｰﾄﾞが違います。", 1},
        {"other era", {0, 0, -1, 0, 0, 1, 0}, "ｴﾗｰ:ﾀｲﾑｽﾀﾝﾌﾟｵｰﾊﾞｰﾌﾛｰ", 1},
        {"stratum 0 is a kiss", {0, 0, 0, 0, 0, 0, 0}, "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(LOCL)", 1},
        {"stratum 15", {0, 0, 15, 0, 0, 0, 0}, "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。", 1},
        {"leap 3 stratum 16", {0, 0xE4, 16, 0, 0, 0, 0}, "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。", 1},
        {"zero transmit", {0, 0, -1, 1, 0, 0, 0}, "ｴﾗｰ:送信ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。", 1},
        {"wrong origin", {0, 0, -1, 0, 1, 0, 0}, "ｴﾗｰ:基点ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。", 1},
        {"leap 3", {0, 0xE4, -1, 0, 0, 0, 0}, "ｴﾗｰ:ｻｰﾊﾞｰの時計が同期していません。", 1},
        {"t2 after t3", {0, 0, -1, 0, 0, 0, 1}, "エラー：通信中の時刻修正を検出", 1},
    };
    for (Row &row : rows) {
        SCOPED_TRACE(row.name);
        ServeShape(&row.shape);
        HandlerCalls.clear();
        ASSERT_EQ(0, RunExchange("127.0.0.1", 0));
        EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
        EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);
        EXPECT_EQ(0, strncmp(ExchangeRecord.ResultMessage, row.message, strlen(row.message)))
            << ExchangeRecord.ResultMessage;
        EXPECT_EQ(row.failed, ExchangeRecord.ExchangeFailed);
        ASSERT_EQ(1u, HandlerCalls.size());
        EXPECT_EQ(1, HandlerCalls[0].result);
    }
}

TEST_F(ExchangeTest, SuccessfulTestWritesItsLinesInOrder)
{
    TestOutputBox = HarnessOutputBox();
    SetWindowTextA(TestOutputBox, "old text");
    ASSERT_EQ(0, RunExchange("localhost", 0));
    ASSERT_EQ(0, ExchangeRecord.ExchangeFailed) << ExchangeRecord.ResultMessage;
    const char *const expected[] = {
        "サーバー：localhost", "IPアドレス：127.0.0.1", "LI=0, VN=4, Mode=4, Stratum=2",
        "Poll Interval=", "Precision=", "Root Delay=", "Root Dispersion=",
        "Reference Timestamp=", "Originate Timestamp=", "Receive Timestamp=",
        "Transmit Timestamp=", "Destination Timestamp=", "往復の遅延時間=", "時計の誤差は ",
        "通信成功"};
    std::vector<std::string> lines = OutputLines();
    ASSERT_EQ(sizeof expected / sizeof expected[0], lines.size());
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(0u, lines[i].find(expected[i])) << i << ": " << lines[i];
    EXPECT_EQ(lines[13], ExchangeRecord.ResultMessage);
    EXPECT_EQ("Poll Interval=64.00sec", lines[3]);
}

TEST_F(ExchangeTest, RequestCarriesRandomBitsBelowTheMillisecond)
{
    NtpTimestamp stamps[2];
    for (NtpTimestamp &stamp : stamps) {
        ASSERT_EQ(0, RunExchange("127.0.0.1", 0));
        ASSERT_EQ(0, ExchangeRecord.ExchangeFailed) << ExchangeRecord.ResultMessage;
        uint8_t request[48];
        FakeNtpServerLastRequest(request);
        EXPECT_EQ(0x23, request[0]);
        for (int i = 1; i < 40; i++)
            EXPECT_EQ(0, request[i]) << i;
        stamp = NetworkToHostTimestamp(request + 40);
        EXPECT_EQ(ExchangeRecord.sendStamp, stamp);
        EXPECT_EQ(FileTimeToNtp(ExchangeRecord.stampTime) & ~0x3FFFFFULL, stamp & ~0x3FFFFFULL);
    }
    EXPECT_NE(stamps[0] & 0x3FFFFF, stamps[1] & 0x3FFFFF);
}

// The precise clock is taken from a module only when it exports one; otherwise the older clock.
TEST(UtcClock, PreciseFunctionWhereItExistsElseTheOlderOne)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC precise = GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime");
    ASSERT_NE(nullptr, precise);
    struct Row {
        const char *name;
        HMODULE module;
        UtcClockReader expected;
    } rows[] = {
        {"kernel32", kernel, (UtcClockReader)(void (*)(void))precise},
        {"a system module without it", GetModuleHandleA("ws2_32.dll"), GetSystemTimeAsFileTime},
        {"the exe, which exports nothing", GetModuleHandleA(NULL), GetSystemTimeAsFileTime},
        {"no module", NULL, GetSystemTimeAsFileTime},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.expected, FinestUtcClock(row.module)) << row.name;
}

TEST_F(ExchangeTest, ForgedReplyFromAnotherPortIsDroppedAndTheRealOneUsed)
{
    FakeNtpServerConfig config = {};
    config.forgeFirst = 1;
    Serve(config);
    for (const char *server : {"127.0.0.1", "::1", "[::1]", "::ffff:127.0.0.1"}) {
        SCOPED_TRACE(server);
        HandlerCalls.clear();
        ASSERT_EQ(0, RunExchange(server, 0));
        EXPECT_EQ(0, ExchangeRecord.ExchangeFailed) << ExchangeRecord.ResultMessage;
        EXPECT_LT(ClockOffset < 0 ? -ClockOffset : ClockOffset, 10000000);    // not the hour
        EXPECT_TRUE(ClockSettings.empty());
        ASSERT_EQ(2u, HandlerCalls.size());
        EXPECT_EQ(0, HandlerCalls[0].result);
        EXPECT_EQ(1, HandlerCalls[1].result);
    }
}

TEST_F(ExchangeTest, SilentServerTimesOutOnTheFifthTick)
{
    FakeNtpServerConfig config = {};
    config.silent = 1;
    Serve(config);
    TestOutputBox = HarnessOutputBox();
    ASSERT_EQ(0, StartAndSend("127.0.0.1", 0));
    PumpFor(30);
    for (int tick = 1; tick <= 4; tick++)
        ASSERT_EQ(0, ExchangeTick()) << tick;
    EXPECT_EQ(ExchangeAwaitingReply, ExchangeRecord.phase);
    EXPECT_EQ(1, ExchangeTick());
    EXPECT_STREQ("エラー：受信タイムアウト発生", ExchangeRecord.ResultMessage);
    EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
    EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);
    std::vector<std::string> lines = OutputLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("エラー：受信タイムアウト発生", lines[1]);
    EXPECT_EQ("通信失敗", lines[2]);
    EXPECT_EQ(0, ExchangeTick());
}

TEST_F(ExchangeTest, LookupThatNeverCompletesFailsOnTheHundredAndTwentyFirstTick)
{
    ASSERT_EQ(0, StartAndSend("localhost", 0));
    const uint32_t serial = ExchangeRecord.serial;
    ASSERT_NE(nullptr, ExchangeRecord.lookup);
    for (int tick = 1; tick <= 120; tick++)
        ASSERT_EQ(0, ExchangeTick()) << tick;
    EXPECT_EQ(ExchangeResolving, ExchangeRecord.phase);
    EXPECT_EQ(1, ExchangeTick());
    EXPECT_STREQ("エラー：IPアドレス取得タイムアウト発生", ExchangeRecord.ResultMessage);
    EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
    EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
    EXPECT_EQ(nullptr, ExchangeRecord.lookup);

    // The late completion, whether the worker still posts it or not, changes nothing.
    PumpFor(100);
    for (const HandlerCall &call : HandlerCalls)
        EXPECT_EQ(-1, call.result);
    EXPECT_EQ(-1, OnHostResolved((WPARAM)serial, 0));
    EXPECT_STREQ("エラー：IPアドレス取得タイムアウト発生", ExchangeRecord.ResultMessage);
    EXPECT_EQ(0, FakeNtpServerRequestCount());
}

// A hand-over as the receiving thread makes it: from the server, or a failed receive.
LPARAM HandOver(int length, int error = 0)
{
    ReceivedDatagram datagram = {};
    datagram.length = length;
    datagram.error = error;
    datagram.from = ExchangeRecord.address;
    datagram.fromLength = sizeof datagram.from;
    return (LPARAM)CopyReceivedDatagram(&datagram);
}

TEST_F(ExchangeTest, MessagesForOtherLookupsAndExchangesChangeNothing)
{
    FakeNtpServerConfig config = {};
    config.silent = 1;
    Serve(config);
    ASSERT_EQ(0, StartAndSend("127.0.0.1", 0));
    SOCKET current = ExchangeRecord.socket;
    const WPARAM serial = ExchangeRecord.serial;
    struct Row {
        int host;
        WPARAM wParam;
        LPARAM lParam;
        int result;
    } rows[] = {
        {0, serial - 1, HandOver(48), -1},
        {0, serial + 1, HandOver(SOCKET_ERROR, WSAENETDOWN), -1},
        {0, serial, 0, -1},
        {1, (WPARAM)0, 0, -1},
        {1, serial, 0, -1},
    };
    for (const Row &row : rows) {
        int result = row.host ? OnHostResolved(row.wParam, row.lParam)
                              : OnReplyReceived(row.wParam, row.lParam);
        EXPECT_EQ(row.result, result) << row.wParam << " " << row.lParam;
        EXPECT_EQ(ExchangeAwaitingReply, ExchangeRecord.phase);
        EXPECT_EQ(current, ExchangeRecord.socket);
        EXPECT_STREQ("", ExchangeRecord.ResultMessage);
    }
    // While a reply is being evaluated (a log error box pumps messages) a further one is dropped.
    ExchangeRecord.phase = ExchangeProcessing;
    EXPECT_EQ(0, OnReplyReceived(serial, HandOver(SOCKET_ERROR, WSAENETDOWN)));
    EXPECT_EQ(current, ExchangeRecord.socket);
    ExchangeRecord.phase = ExchangeAwaitingReply;
    EXPECT_EQ(1, OnReplyReceived(serial, HandOver(SOCKET_ERROR, WSAENETDOWN)));
    EXPECT_STREQ("エラー:データ受信失敗。", ExchangeRecord.ResultMessage);
    EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);
    EXPECT_EQ(-1, OnReplyReceived(serial, HandOver(48)));
}

// The test's own thread reads Before, then Returned; any other thread reads Arrival and says so.
uint64_t Before, Returned, Arrival;
int WindowReads;
HANDLE ArrivalRead;
DWORD WindowThread;

void WINAPI ReadStagedClock(LPFILETIME utc)
{
    uint64_t value = Arrival;
    if (GetCurrentThreadId() != WindowThread)
        SetEvent(ArrivalRead);
    else
        value = WindowReads++ == 0 ? Before : Returned;
    utc->dwLowDateTime = (DWORD)value;
    utc->dwHighDateTime = (DWORD)(value >> 32);
}

void StampAt(uint8_t *reply, int *, void *context)
{
    FakeNtpPutTimestamp(reply + 32, *(const uint64_t *)context);
    FakeNtpPutTimestamp(reply + 40, *(const uint64_t *)context);
}

// t1 is the middle of the send (the reading before it when the reply's came earlier) and t4 the
// receiving thread's reading, not the window thread's when it gets to the reply much later.
TEST_F(ExchangeTest, ReplyTimeIsReadWhereTheReplyArrives)
{
    const uint64_t T = FileTimeOf(2031, 3, 4, 12, 0, 0, 0);
    uint64_t server = T + 50000000;
    FakeNtpServerConfig config = {};
    config.shape = StampAt;
    config.context = &server;
    Serve(config);
    Settings.MinAdjust = 100000;
    struct Row {
        const char *name;
        uint64_t returned, arrived, t1;     // after T, when the send began
    } rows[] = {
        {"sent, then arrived", 20000, 30000, 10000},
        {"arrived before the send returned", 30000, 20000, 15000},
        {"arrival read before the send's middle", 30000, 10000, 0},
    };
    ArrivalRead = CreateEventA(NULL, FALSE, FALSE, NULL);
    WindowThread = GetCurrentThreadId();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Before = T;
        Returned = T + row.returned;
        Arrival = T + row.arrived;
        WindowReads = 0;
        ReadUtcClock = ReadStagedClock;
        ASSERT_EQ(0, StartAndSend("127.0.0.1", 0));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ArrivalRead, 5000));
        EXPECT_EQ(1, PumpUntilIdle(2000));
        EXPECT_EQ(0, ExchangeRecord.ExchangeFailed) << ExchangeRecord.ResultMessage;
        EXPECT_EQ(T + row.returned / 2, ExchangeRecord.sendTime);
        EXPECT_EQ(T + row.arrived, ExchangeRecord.receiveTime);
        EXPECT_EQ((int64_t)(2 * server - 2 * T - row.t1 - row.arrived) / 2, ClockOffset);
    }
    UseRealClock();
    CloseHandle(ArrivalRead);
}

TEST_F(ExchangeTest, StartChecksAndCancel)
{
    TestOutputBox = HarnessOutputBox();
    EXPECT_EQ(-1, StartAndSend("", 0));
    EXPECT_STREQ("エラー:サーバーを設定してください。", ExchangeRecord.ResultMessage);
    EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
    EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);

    // The all-ones address is no dotted address to inet_addr: it is looked up instead.
    ASSERT_EQ(0, StartAndSend("255.255.255.255", 0));
    EXPECT_EQ(ExchangeResolving, ExchangeRecord.phase);
    CancelExchange();
    EXPECT_STREQ("処理を中止しました。", ExchangeRecord.ResultMessage);
    EXPECT_EQ(nullptr, ExchangeRecord.lookup);
    PumpFor(50);
    for (const HandlerCall &call : HandlerCalls)
        EXPECT_EQ(-1, call.result);
    std::vector<std::string> lines = OutputLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("サーバー：255.255.255.255", lines[0]);
    EXPECT_EQ("処理を中止しました。", lines[1]);
    EXPECT_EQ(0, FakeNtpServerRequestCount());

    // An address that sent RATE in this start gets no further request, whatever its spelling.
    sockaddr_storage rate = {};
    ParseAddressLiteral("::1", &rate);
    RememberKiss("RATE", "::1", &rate, 1);
    EXPECT_EQ(-1, StartAndSend("[0::1]", 0));
    EXPECT_STREQ("ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(RATE)", ExchangeRecord.ResultMessage);
    ForgetKisses();
    EXPECT_EQ(0, FakeNtpServerRequestCount());
}

// A kiss sends the next attempt to the next server, but not one that came while a second
// opinion was asked: that server is not the selected one.
TEST_F(ExchangeTest, KissMovesOnOnlyOutsideASecondOpinion)
{
    ReplyShape kiss = {0, 0, 0, 0, 0, 0, 0};
    ServeShape(&kiss);
    Settings.ConfirmStep = 1000;
    sockaddr_storage first = {};
    for (int opinion = 0; opinion < 2; ++opinion) {
        StartStepCheck(2);
        EXPECT_EQ(opinion, opinion && WeighStep(5000 * 10000000LL, &first, "first") == StepAskNext);
        ASSERT_EQ(0, RunExchange("127.0.0.1", 0));
        EXPECT_EQ(!opinion, TakeKissMovesOn()) << opinion;
    }
    StartStepCheck(1);
    ForgetKisses();
}

// A label over 63 characters is refused by the resolver library itself: nothing is sent.
TEST_F(ExchangeTest, NameThatCannotBeResolvedIsAFailedLookup)
{
    const std::string name = std::string(70, 'a') + ".invalid";
    ASSERT_EQ(0, StartAndSend(name.c_str(), 0));
    EXPECT_EQ(1, PumpUntilIdle(5000));
    EXPECT_STREQ("エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽ取得失敗", ExchangeRecord.ResultMessage);
    EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
    ASSERT_EQ(1u, HandlerCalls.size());
    EXPECT_EQ(1, HandlerCalls[0].result);
    EXPECT_EQ(0, NameHasAddressesLeft(name.c_str()));
}

// Threads of this process (the workers of lookups still running among them).
int ThreadCount(void)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// The receiving thread ends with its exchange, and what it handed over too late ends nothing:
// a stop while it waits, a reply handed over before a time-out or a stop is handled.
TEST_F(ExchangeTest, ReceivingThreadEndsWithItsExchange)
{
    const char *const stopped = "処理を中止しました。";
    struct Row {
        const char *name;
        int silent;
        int ticks;      // 0: stopped by the user; else ticks until the time-out
        const char *message;
    } rows[] = {
        {"stopped while the thread waits", 1, 0, stopped},
        {"reply handed over, then stopped", 0, 0, stopped},
        {"reply handed over, then the time-out", 0, 5, "エラー：受信タイムアウト発生"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeNtpServerConfig config = {};
        config.silent = row.silent;
        Serve(config);
        HandlerCalls.clear();
        const int threads = ThreadCount();
        ASSERT_EQ(0, StartAndSend("127.0.0.1", 0));
        EXPECT_EQ(threads + 1, ThreadCount());
        MSG handOver;
        for (int waited = 0; !row.silent && waited < 2000 && !PeekMessageA(&handOver, ClockWindow,
             WM_REPLY_RECEIVED, WM_REPLY_RECEIVED, PM_NOREMOVE); waited++)
            Sleep(1);
        if (row.ticks == 0)
            CancelExchange();
        for (int tick = 0; tick < row.ticks; tick++)
            ExchangeTick();
        EXPECT_EQ(threads, ThreadCount());
        PumpFor(30);
        EXPECT_EQ(row.silent ? 0u : 1u, HandlerCalls.size());
        for (const HandlerCall &call : HandlerCalls)
            EXPECT_EQ(-1, call.result);
        EXPECT_STREQ(row.message, ExchangeRecord.ResultMessage);
    }
}

// A stopped lookup and one replaced by a new query post nothing when they end late; only the
// current one goes on, to its IPv6 address. Every worker ends however late its lookup does.
TEST_F(ExchangeTest, CancelledLookupNeverActsOnALaterExchange)
{
    UseFakeResolver();
    FakeAddresses({"::1"});
    FakeResolverGate = CreateEventA(NULL, TRUE, FALSE, NULL);
    const int threads = ThreadCount();
    TestOutputBox = HarnessOutputBox();
    ASSERT_EQ(0, StartExchange("v6only.vellmarin.test", 0));
    CancelExchange();
    ASSERT_EQ(0, StartExchange("stale.vellmarin.test", 0));
    ASSERT_EQ(0, StartExchange("v6only.vellmarin.test", 0));
    EXPECT_EQ(threads + 3, ThreadCount());
    PumpFor(20);
    SetEvent(FakeResolverGate);
    EXPECT_EQ(1, PumpUntilIdle(2000));
    EXPECT_EQ(0, ExchangeRecord.ExchangeFailed) << ExchangeRecord.ResultMessage;
    ASSERT_EQ(2u, HandlerCalls.size());
    EXPECT_EQ(WM_HOST_RESOLVED, HandlerCalls[0].message);
    EXPECT_EQ(0, HandlerCalls[0].result);
    EXPECT_EQ(1, HandlerCalls[1].result);
    std::vector<std::string> lines = OutputLines();
    ASSERT_LE(2u, lines.size());
    EXPECT_EQ("IPアドレス：::1", lines[1]);
    for (int waited = 0; ThreadCount() != threads && waited < 2000; waited += 10)
        Sleep(10);
    EXPECT_EQ(threads, ThreadCount());
    CloseHandle(FakeResolverGate);
    FakeResolverGate = NULL;
}

TEST_F(ExchangeTest, OneMinuteRuleFollowsTheSlotTable)
{
    const char *const self = "127.0.0.1";
    const char *const other = "127.0.0.9";
    const uint32_t now = 1000;
    struct Slot {
        const char *address;    // null: empty
        uint32_t sentAt;
    };
    struct Row {
        const char *name;
        uint32_t tick;
        int rule;
        Slot before[2];
        int fillAllFresh;
        int refused;
        int recordedSlot;   // where the send is recorded; -1 not at all
        const char *server;
    } rows[] = {
        {"empty table", now, 1, {{0, 0}, {0, 0}}, 0, 0, 0, self},
        {"sent 239 ticks ago", now, 1, {{self, now - 239}, {0, 0}}, 0, 1, -1, self},
        {"sent 240 ticks ago", now, 1, {{self, now - 240}, {0, 0}}, 0, 0, 0, self},
        {"first match stale, later fresh", now, 1, {{self, now - 300}, {self, now - 10}}, 0, 0, 0,
         self},
        {"other fresh, then self fresh", now, 1, {{other, now - 5}, {self, now - 5}}, 0, 1, -1,
         self},
        {"other fresh, self absent", now, 1, {{other, now - 5}, {0, 0}}, 0, 0, 1, self},
        {"counter wrapped", 100, 1, {{self, 0xFFFFFFF0u}, {0, 0}}, 0, 1, -1, self},
        {"rule off with self fresh", now, 0, {{self, now - 5}, {0, 0}}, 0, 0, 1, self},
        {"all slots fresh", now, 1, {{0, 0}, {0, 0}}, 1, 0, -1, self},
        {"::1 fresh, asked as 0:0:0:0:0:0:0:1", now, 1, {{"::1", now - 5}, {0, 0}}, 0, 1, -1,
         "0:0:0:0:0:0:0:1"},
        {"0::1 fresh, asked as [::1]", now, 1, {{other, now - 5}, {"0::1", now - 5}}, 0, 1, -1,
         "[::1]"},
        {"127.0.0.1 fresh, asked as ::1", now, 1, {{self, now - 5}, {0, 0}}, 0, 0, 1, "::1"},
    };
    FakeNtpServerConfig config = {};
    config.silent = 1;
    Serve(config);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        memset(RecentServers, 0, sizeof RecentServers);
        for (int i = 0; i < 2; i++) {
            if (row.before[i].address != nullptr)
                ParseAddressLiteral(row.before[i].address, &RecentServers[i].address);
            RecentServers[i].sentAt = row.before[i].sentAt;
        }
        if (row.fillAllFresh) {
            for (int i = 0; i < RecentServerSlots; i++) {
                std::string address = "127.0.1." + std::to_string(i);
                ParseAddressLiteral(address.c_str(), &RecentServers[i].address);
                RecentServers[i].sentAt = row.tick - 1;
            }
        }
        RecentServer before[RecentServerSlots];
        memcpy(before, RecentServers, sizeof before);
        TickCounter = row.tick;
        int requests = FakeNtpServerRequestCount();
        const char *server = row.server;
        int started = StartAndSend(server, row.rule);
        PumpFor(20);
        CloseExchange();
        if (row.refused) {
            EXPECT_EQ(-1, started);
            EXPECT_STREQ("エラー：１分以内のリトライ不可", ExchangeRecord.ResultMessage);
            EXPECT_EQ(requests, FakeNtpServerRequestCount());
        } else {
            EXPECT_EQ(0, started);
            EXPECT_EQ(requests + 1, FakeNtpServerRequestCount());
        }
        struct sockaddr_storage asked;
        ParseAddressLiteral(server, &asked);
        for (int i = 0; i < RecentServerSlots; i++) {
            if (i == row.recordedSlot) {
                EXPECT_TRUE(SameAddress(&asked, &RecentServers[i].address)) << i;
                EXPECT_EQ(row.tick, RecentServers[i].sentAt) << i;
            } else {
                EXPECT_EQ(0, memcmp(&before[i], &RecentServers[i], sizeof before[i])) << i;
            }
        }
    }
}

// A name with an IPv6 and an IPv4 address: after a time-out or a failed send the run's next
// attempt asks the next address without a new lookup; a list used up or older than five minutes,
// a manual start or another name is looked up again. The one-minute rule holds per address.
TEST_F(ExchangeTest, AttemptsOfARunAskEachAddressOfTheNameInTurn)
{
    const char *const timeOut = "エラー：受信タイムアウト発生";
    const char *const refused = "エラー：１分以内のリトライ不可";
    struct Row {
        const char *name;
        uint32_t tick;
        int rule;
        const char *server;
        int lookedUp;
        const char *asked;      // the address asked
        const char *message;    // how the attempt ended
        int left;               // NameHasAddressesLeft afterwards
        const char *rate = nullptr; // the one address that sent RATE before the attempt
    } rows[] = {
        {"first attempt: IPv6 first", 1000, 1, "dual", 1, "::1", timeOut, 1},
        {"retry: IPv4, no lookup", 1020, 1, "dual", 0, "127.0.0.1", timeOut, 0},
        {"used up: IPv6 again, in its minute", 1040, 1, "dual", 1, "::1", refused, 0},
        {"IPv6 after its minute", 1240, 1, "dual", 1, "::1", timeOut, 1},
        {"manual start looks up", 1250, 0, "dual", 1, "::1", timeOut, 1},
        {"another name looks up", 1500, 1, "other", 1, "::1", timeOut, 1},
        {"back to the first name", 1750, 1, "dual", 1, "::1", timeOut, 1},
        {"list five minutes old", 2950, 1, "dual", 1, "::1", timeOut, 1},
        {"send fails on the first", 4000, 1, "bcast", 1, "127.255.255.255", "エラー: 送信失敗", 1},
        {"the next asks the second", 4010, 1, "bcast", 0, "127.0.0.1", timeOut, 0},
        {"RATE from the first: the second", 5000, 1, "dual", 1, "127.0.0.1", timeOut, 0, "::1"},
        {"RATE from the second: the first", 6000, 1, "triple", 1, "::1", timeOut, 1, "127.0.0.2"},
        {"the walk passes over the second", 6020, 1, "triple", 0, "127.0.0.1", timeOut, 0},
    };
    UseFakeResolver();
    FakeNtpServerConfig config = {};
    config.silent = 1;
    Serve(config);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (strcmp(row.server, "bcast") == 0)
            FakeAddresses({"127.255.255.255", "127.0.0.1"});
        else if (strcmp(row.server, "triple") == 0)
            FakeAddresses({"::1", "127.0.0.2", "127.0.0.1"});
        else
            FakeAddresses({"::1", "127.0.0.1"});
        TickCounter = row.tick;
        sockaddr_storage rate = {};
        if (row.rate != nullptr && ParseAddressLiteral(row.rate, &rate) == 0) {
            ForgetKisses();
            RememberKiss("RATE", row.rate, &rate, 1);
        }
        LONG lookups = FakeLookups;
        StartAndSend(row.server, row.rule);
        for (int waited = 0; ExchangeRecord.phase == ExchangeResolving && waited < 2000; waited += 10)
            PumpFor(10);
        for (int tick = 0; tick < 5; tick++)
            ExchangeTick();
        char text[AddressTextSize];
        EXPECT_EQ(row.lookedUp, FakeLookups - lookups);
        EXPECT_STREQ(row.asked, FormatAddress(&ExchangeRecord.address, text, sizeof text));
        EXPECT_STREQ(row.message, ExchangeRecord.ResultMessage);
        EXPECT_EQ(row.left, NameHasAddressesLeft(row.server));
        EXPECT_EQ(0, NameHasAddressesLeft("unasked"));
    }
    ForgetKisses();
}

int NetworkBoxes;
std::string NetworkBoxText, NetworkBoxCaption;

int WINAPI RecordNetworkBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    NetworkBoxes += owner == NULL && style == MB_OK;
    NetworkBoxText = text;
    NetworkBoxCaption = caption;
    return IDOK;
}

int WINAPI RefusedStartup(WORD, LPWSADATA)
{
    return WSASYSNOTREADY;
}

// A real start-up that reports another version, so the clean-up stays balanced.
int WINAPI OtherVersionStartup(WORD version, LPWSADATA data)
{
    int result = WSAStartup(version, data);
    data->wVersion = 0x0101;
    return result;
}

// Each row restarts the network with a start-up of its own; the real one is back afterwards.
TEST_F(ExchangeTest, NetworkThatDidNotStartFailsEveryExchange)
{
    struct Row {
        int (WINAPI *startup)(WORD, LPWSADATA);
        int boxes;
        const char *message;
    } rows[] = {
        {RefusedStartup, 1, "エラー: Winsock スタートアップエラー。"},
        {OtherVersionStartup, 0, "エラー: Winsock のバージョンが違います。"},
    };
    TestOutputBox = HarnessOutputBox();
    // A start-up of the test's own keeps WinSock, and the fake server's socket, alive meanwhile.
    WSADATA held;
    ASSERT_EQ(0, WSAStartup(0x0101, &held));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        StopNetwork();
        NetworkStartup = row.startup;
        NetworkErrorBox = RecordNetworkBox;
        NetworkBoxes = 0;
        StartNetwork();
        EXPECT_EQ(row.boxes, NetworkBoxes);
        if (row.boxes) {
            EXPECT_EQ("WSAStartup() Error.", NetworkBoxText);
            EXPECT_EQ("ERROR", NetworkBoxCaption);
        }
        EXPECT_EQ(-1, StartAndSend("127.0.0.1", 0));
        EXPECT_STREQ(row.message, ExchangeRecord.ResultMessage);
        EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
        EXPECT_EQ(std::vector<std::string>{row.message}, OutputLines());
        StopNetwork();
        NetworkStartup = WSAStartup;
        NetworkErrorBox = MessageBox932;
        StartNetwork();
    }
    WSACleanup();
    EXPECT_EQ(0, FakeNtpServerRequestCount());
}

// A lookup that cannot start (no host name is that long), a send that fails and a form no lookup
// could find end the exchange at once: nothing is left open and nothing counts for the one-minute
// rule. The loopback broadcast address refuses a send from a socket without SO_BROADCAST.
TEST_F(ExchangeTest, LookupThatCannotStartFailedSendAndRefusedFormEndAtOnce)
{
    const std::string tooLong(300, 'a');
    const char *const refused = "ｴﾗｰ:ｻｰﾊﾞｰ名の形式が正しくありません。";
    struct Row {
        const char *server;
        const char *message;
    } rows[] = {
        {tooLong.c_str(), "エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽの取得失敗"},
        {"127.255.255.255", "エラー: 送信失敗"},
        {"127.0.0.1:123", refused},
        {"[::1]:123", refused},
        {"fe80::1%lo", refused},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.server);
        memset(RecentServers, 0, sizeof RecentServers);
        EXPECT_EQ(-1, StartAndSend(row.server, 1));
        EXPECT_STREQ(row.message, ExchangeRecord.ResultMessage);
        EXPECT_EQ(1, ExchangeRecord.ExchangeFailed);
        EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
        EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);
        EXPECT_EQ(nullptr, ExchangeRecord.lookup);
        for (const RecentServer &slot : RecentServers)
            EXPECT_EQ(0, slot.address.ss_family);
    }
    PumpFor(50);
    EXPECT_TRUE(HandlerCalls.empty());
}

}  // namespace
