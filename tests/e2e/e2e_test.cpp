// The real program against the in-process fake time server on 127.0.0.1:123, watched from
// outside: the status line, the time field, the title, its files and its exit code.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>
#include <math.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/fake_ntp_server.h"
#include "vellmarin_version.h"

enum { TimeFieldId = 2100, StatusFieldId = 2101, DisplayFieldId = 2102, RunButtonId = 2001 };
static const int64_t Second = 10000000;

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(0x0101, &data);
    }
    static void TearDownTestSuite() { WSACleanup(); }
    void StartServer(const FakeNtpServerConfig &config)
    {
        ASSERT_EQ(0, FakeNtpServerStart(&config)) << "port 123 busy";
    }
    void TearDown() override
    {
        StopClock(&clock);
        FakeNtpServerStop();
    }
    RunningClock clock = {};
};

static bool IsResult(const std::string &text)
{
    return Contains(text, "誤差") || Contains(text, "エラー") || Contains(text, "ｴﾗｰ");
}

TEST_F(EndToEnd, ServerFiveSecondsAheadCannotSetTheClockButTheWindowShowsItsTime)
{
    FakeNtpServerConfig config = {};
    config.offset = 5 * Second;
    StartServer(config);
    std::string folder = MakeRunFolder("ahead", BaseIni("StartupWait=0\r\nAutoClose=0\r\nSaveLog=1\r\n"));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    std::string status = WaitForText(window, StatusFieldId, IsResult, 10000);
    ASSERT_TRUE(Contains(status, "時計を変更できませんでした。誤差は ")) << status;
    EXPECT_TRUE(Contains(status, " 秒です。")) << status;
    EXPECT_NEAR(-5.000, ErrorSeconds(status), 0.020) << status;

    // The time field runs on the server's time although the computer's clock stays behind.
    Sleep(1100);
    SYSTEMTIME local;
    GetLocalTime(&local);
    std::string shown = ControlText(window, TimeFieldId);
    int year, month, day, hour, minute, second;
    ASSERT_EQ(6, sscanf(shown.c_str(), "%d/%d/%d %d:%d:%d", &year, &month, &day, &hour, &minute,
                        &second)) << shown;
    FILETIME shownTime, localTime;
    SYSTEMTIME shownSystem = {(WORD)year, (WORD)month, 0, (WORD)day, (WORD)hour, (WORD)minute,
                              (WORD)second, 0};
    SystemTimeToFileTime(&shownSystem, &shownTime);
    local.wMilliseconds = 0;
    SystemTimeToFileTime(&local, &localTime);
    auto units = [](const FILETIME &t) { return (int64_t)(((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime); };
    double ahead = (double)(units(shownTime) - units(localTime)) / Second;
    EXPECT_NEAR(5.0, ahead, 1.5) << shown;

    std::vector<std::string> log = ReadLines(LogPath(folder));
    ASSERT_EQ(2u, log.size());
    EXPECT_NEAR(-5.000, ErrorSeconds(log[1].substr(log[1].find(',') + 1)), 0.020) << log[1];
}

// With AutoClose the window closes itself after the good reply: 3 s in the standard look, 6 s
// in the bar, where the status shows in the one display field.
TEST_F(EndToEnd, AutoCloseWaitsThreeOrSixSeconds)
{
    struct Row { const char *style; int field; double seconds; } rows[] = {
        {"FormStyle=0\r\n", StatusFieldId, 3.0},
        {"FormStyle=1\r\n", DisplayFieldId, 6.0},
    };
    StartServer(FakeNtpServerConfig{});
    for (const Row &row : rows) {
        std::string ini = BaseIni((std::string("StartupWait=0\r\nAutoClose=1\r\n") + row.style).c_str());
        std::string folder = MakeRunFolder("autoclose", ini);
        ASSERT_EQ(0, LaunchClock(folder, &clock));
        HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
        ASSERT_NE(nullptr, window);
        std::string status = WaitForText(window, row.field, IsResult, 10000);
        LARGE_INTEGER shownAt = Now();
        ASSERT_TRUE(Contains(status, "時計の誤差は ")) << status;
        EXPECT_EQ(0, WaitForExit(&clock, 15000));
        EXPECT_NEAR(row.seconds, SecondsSince(shownAt), 0.5) << row.style;
        StopClock(&clock);
    }
}

TEST_F(EndToEnd, SecondStartLeavesAtOnceAndTheFirstRunsOn)
{
    std::string folder = MakeRunFolder("twice", BaseIni("StartupWait=99\r\nAutoClose=0\r\n"));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND first = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, first);
    RunningClock second = {};
    LARGE_INTEGER started = Now();
    ASSERT_EQ(0, LaunchClock(folder, &second));
    EXPECT_EQ(0, WaitForExit(&second, 10000));
    EXPECT_LT(SecondsSince(started), 3.0);
    EXPECT_EQ(nullptr, FindClockWindow(second.process.dwProcessId, 0));
    StopClock(&second);
    EXPECT_TRUE(IsWindow(first));
    EXPECT_EQ(-1, WaitForExit(&clock, 0)) << "the first instance still runs";
    EXPECT_STREQ("ようこそ vellmarin へ。", ControlText(first, StatusFieldId).c_str());
}

// Position 1 remembers the window only when it was moved, and only where both coordinates are
// on the screen.
TEST_F(EndToEnd, LastPositionIsSavedOnlyAfterAMove)
{
    struct Row { int move; int x, y; const char *left; const char *top; } rows[] = {
        {0, 0, 0, "", ""},
        {1, 200, 150, "200", "150"},
        {1, -50, 30, "", ""},
    };
    for (const Row &row : rows) {
        std::string folder = MakeRunFolder("position", "[WINDOW]\r\nPosition=1\r\n" +
                                                           BaseIni("StartupWait=99\r\nAutoClose=0\r\n"));
        ASSERT_EQ(0, LaunchClock(folder, &clock));
        HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
        ASSERT_NE(nullptr, window);
        Sleep(300);
        if (row.move)
            SetWindowPos(window, NULL, row.x, row.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0, WaitForExit(&clock, 10000));
        std::string ini = folder + "vellmarin.ini";
        char left[16], top[16];
        GetPrivateProfileStringA("WINDOW", "Left", "", left, sizeof left, ini.c_str());
        GetPrivateProfileStringA("WINDOW", "Top", "", top, sizeof top, ini.c_str());
        EXPECT_STREQ(row.left, left) << row.x << "," << row.y;
        EXPECT_STREQ(row.top, top) << row.x << "," << row.y;
        StopClock(&clock);
    }
}

static void AnnounceLeapSecond(uint8_t *reply, int *, void *)
{
    reply[0] = (uint8_t)((1 << 6) | (4 << 3) | 4);   // LI 1: the last minute has 61 seconds
}

TEST_F(EndToEnd, AnnouncedLeapSecondIsAwaitedAndReported)
{
    FakeNtpServerConfig config = {};
    config.shape = AnnounceLeapSecond;
    StartServer(config);
    std::string folder = MakeRunFolder(
        "leap", BaseIni("StartupWait=0\r\nAutoClose=0\r\nDispLeap=1\r\nWaitLeap=1\r\nSaveEventLog=1\r\n"));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    DWORD start = GetTickCount();
    while (WindowTitle(window) != "vellmarin - うるう秒補正待ち" && GetTickCount() - start < 10000)
        Sleep(20);
    EXPECT_EQ("vellmarin - うるう秒補正待ち", WindowTitle(window));
    std::string report = ReadWholeFile(EventLogPath(folder));
    EXPECT_TRUE(Contains(report, "UTCの最後の分は61秒(うるう秒挿入)")) << report;
    EXPECT_TRUE(Contains(report, "127.0.0.1")) << report;
}

// A server that never answers: one request, a reply time-out, then ten retries that the
// one-minute rule refuses, counted down in the status line; the window stays open.
TEST_F(EndToEnd, SilentServerGivesTenRetriesThenIdle)
{
    FakeNtpServerConfig config = {};
    config.silent = 1;
    StartServer(config);
    std::string folder = MakeRunFolder(
        "silent", BaseIni("StartupWait=0\r\nRetryWait=5\r\nRetryMax=10\r\nAutoClose=1\r\nErrorClose=0\r\n"));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    std::vector<std::string> seen;
    DWORD start = GetTickCount(), changed = start;
    while (GetTickCount() - start < 70000) {
        std::string status = ControlText(window, StatusFieldId);
        if (seen.empty() || seen.back() != status) {
            seen.push_back(status);
            changed = GetTickCount();
        }
        // Each refused retry shows the bare message for a moment before its retry text: the
        // run is over only when the bare message stays.
        if (status == "エラー：１分以内のリトライ不可" && GetTickCount() - changed > 1500)
            break;
        Sleep(50);
    }
    std::vector<std::string> retries;
    for (const std::string &status : seen)
        if (Contains(status, "ﾘﾄﾗｲします。"))
            retries.push_back(status);
    std::string trace;
    for (const std::string &status : seen)
        trace += status + "\n";
    ASSERT_EQ(10u, retries.size()) << trace;
    EXPECT_EQ("エラー：受信タイムアウト発生 あと10回ﾘﾄﾗｲします。", retries[0]);
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ("エラー：１分以内のリトライ不可 あと" + std::to_string(10 - i) + "回ﾘﾄﾗｲします。",
                  retries[i]);
    EXPECT_EQ("エラー：１分以内のリトライ不可", seen.back());
    EXPECT_EQ(1, FakeNtpServerRequestCount());
    Sleep(4000);
    EXPECT_EQ(-1, WaitForExit(&clock, 0)) << "a failed run does not close without ErrorClose";
}

// The clock window's own commands: opening the server list and switching servers drop the
// pending start-up query; the bar's close and minimise buttons act at once and drop nothing.
TEST_F(EndToEnd, WindowCommandsOutsideTheMachine)
{
    struct Row {
        const char *style;
        WPARAM command;
        int field;
        const char *shown;    // expected text of the field, or null
        int exits;            // the program ends with code 0
        int minimised;
    } rows[] = {
        {"FormStyle=0\r\n", MAKEWPARAM(2200, CBN_DROPDOWN), StatusFieldId, "vellmarin v" VM_VERSION_TEXT, 0, 0},
        {"FormStyle=1\r\n", MAKEWPARAM(2003, BN_CLICKED), DisplayFieldId, "127.0.0.2", 0, 0},
        {"FormStyle=1\r\n", MAKEWPARAM(2002, BN_CLICKED), DisplayFieldId, nullptr, 1, 0},
        {"FormStyle=1\r\n", MAKEWPARAM(2004, BN_CLICKED), DisplayFieldId, nullptr, 0, 1},
    };
    StartServer(FakeNtpServerConfig{});
    for (const Row &row : rows) {
        std::string ini = BaseIni((std::string("StartupWait=2\r\nAutoClose=0\r\n") + row.style).c_str()) +
                          "Server1=127.0.0.2\r\n";
        std::string folder = MakeRunFolder("commands", ini);
        int before = FakeNtpServerRequestCount();
        ASSERT_EQ(0, LaunchClock(folder, &clock));
        HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
        ASSERT_NE(nullptr, window);
        PostMessageA(window, WM_COMMAND, row.command, 0);
        if (row.exits) {
            EXPECT_EQ(0, WaitForExit(&clock, 5000)) << row.command;
        } else {
            Sleep(500);
            if (row.shown) {
                EXPECT_EQ(row.shown, ControlText(window, row.field)) << row.command;
            }
            Sleep(2500);
            if (row.shown)
                EXPECT_EQ(before, FakeNtpServerRequestCount()) << "the start-up query was dropped";
            else
                EXPECT_EQ(before + 1, FakeNtpServerRequestCount()) << "minimised, it still queries";
            EXPECT_EQ(row.minimised != 0, IsIconic(window) != 0) << row.command;
        }
        StopClock(&clock);
    }
}

static bool RequestsReach(int count, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); FakeNtpServerRequestCount() < count && GetTickCount() - start < timeoutMs;)
        Sleep(10);
    return FakeNtpServerRequestCount() >= count;
}

// A window left open asks again after a wake (unrefused) and a minute after the last query ended.
TEST_F(EndToEnd, WakeAndIntervalAskAgainWhileTheWindowStaysOpen)
{
    StartServer(FakeNtpServerConfig{});
    std::string folder = MakeRunFolder("resync", BaseIni("StartupWait=0\r\nAutoClose=0\r\nResyncMinutes=1\r\n"));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(IsResult(WaitForText(window, StatusFieldId, IsResult, 10000)));
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_TRUE(RequestsReach(2, 5000));
    LARGE_INTEGER woken = Now();
    ASSERT_TRUE(RequestsReach(3, 80000));
    EXPECT_NEAR(67.5, SecondsSince(woken), 7.5) << "60 to 75 s";
}
