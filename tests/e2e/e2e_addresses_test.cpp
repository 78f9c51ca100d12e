// The real program asking a name that the wrapper's own name server gives an IPv6 and an IPv4
// address, against the in-process fake server, which drops what comes over IPv6 as a broken path
// does: the send succeeds and no reply ever comes.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/fake_ntp_server.h"

TEST(EndToEndAddresses, UnreachableIpv6ThenIpv4SynchronisesOnTheSecondAttempt)
{
    const char *name = getenv("VM_DUAL_NAME");
    ASSERT_NE(nullptr, name) << "run through resolver_e2e.sh";
    WSADATA data;
    WSAStartup(0x0101, &data);
    FakeNtpServerConfig config = {};
    config.silentIpv6 = 1;
    ASSERT_EQ(0, FakeNtpServerStart(&config)) << "port 123 busy";
    std::string folder = MakeRunFolder(
        "dual", std::string("[SETUP]\r\nStartupWait=0\r\nRetryWait=5\r\nRetryMax=3\r\nAutoClose=0\r\n"
                            "SaveLog=1\r\n[SERVER]\r\nServer0=") + name + "\r\n");
    RunningClock clock = {};
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    std::vector<std::string> seen;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        std::string status = ControlText(window, 2101);
        if (seen.empty() || seen.back() != status)
            seen.push_back(status);
        if (Contains(status, "誤差"))
            break;
        Sleep(20);
    }
    std::string trace;
    for (const std::string &status : seen)
        trace += status + "\n";
    printf("%s", trace.c_str());
    // The second query lasts a few milliseconds: the poll may miss its status, never its order.
    std::vector<std::string> expected = {
        "サーバーとの通信中... ::1",
        "エラー：受信タイムアウト発生 あと3回ﾘﾄﾗｲします。",
        "サーバーとの通信中... 127.0.0.1",
    };
    std::vector<std::string> queries;
    for (const std::string &status : seen)
        if (Contains(status, "通信中... ") || Contains(status, "ﾘﾄﾗｲします"))
            queries.push_back(status);
    expected.resize(queries.size() < 3 ? 2 : 3);
    EXPECT_EQ(expected, queries) << trace;
    EXPECT_TRUE(Contains(seen.back(), "時計の誤差は ")) << trace;
    // Two requests, the first over IPv6, which is never answered: the reply came over IPv4.
    EXPECT_EQ(2, FakeNtpServerRequestCount());
    std::vector<std::string> log = ReadLines(LogPath(folder));
    EXPECT_EQ(2u, log.size());
    StopClock(&clock);
    FakeNtpServerStop();
    WSACleanup();
}
