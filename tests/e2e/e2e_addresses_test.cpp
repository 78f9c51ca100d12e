// The real program asking a name that the wrapper's name server gives ::1 and 127.0.0.1, against
// the in-process fake server, which drops what comes over IPv6 as a broken path does: the send
// succeeds and no reply ever comes.
#include <gtest/gtest.h>
#include <winsock.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "e2e/e2e_support.h"
#include "support/fake_ntp_server.h"

TEST(EndToEndAddresses, UnreachableIpv6ThenIpv4SynchronisesOnTheSecondAttempt)
{
    const char *name = getenv("VM_DUAL_NAME");
    ASSERT_NE(nullptr, name) << "run through chrony_e2e.sh";
    WSADATA data;
    WSAStartup(0x0101, &data);
    FakeNtpServerConfig config = {};
    config.silentIpv6 = 1;
    ASSERT_EQ(0, FakeNtpServerStart(&config)) << "port 123 busy";
    RunningClock clock = {};
    std::string ini = "[SETUP]\r\nStartupWait=0\r\nRetryWait=5\r\nRetryMax=3\r\nAutoClose=0\r\n"
                      "[SERVER]\r\nServer0=" + std::string(name) + "\r\n";
    ASSERT_EQ(0, LaunchClock(MakeRunFolder("dual", ini), &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    EXPECT_NE(nullptr, window);
    // Each query's status, retry and result. Left out: the first query's status before its lookup
    // ends, and the second query's, which lasts milliseconds and may be missed.
    std::vector<std::string> seen;
    for (DWORD start = GetTickCount(); window && GetTickCount() - start < 20000; Sleep(20)) {
        std::string status = ControlText(window, 2101);
        if ((seen.empty() || seen.back() != status) && status != "サーバーとの通信中..." &&
            status != "サーバーとの通信中... 127.0.0.1" &&
            (Contains(status, "通信中") || Contains(status, "ﾘﾄﾗｲ") || Contains(status, "誤差"))) {
            seen.push_back(status);
            printf("%s\n", status.c_str());
        }
        if (Contains(status, "誤差"))
            break;
    }
    StopClock(&clock);
    // Two requests, the first over IPv6, which is never answered: the reply came over IPv4.
    EXPECT_EQ(2, FakeNtpServerRequestCount());
    FakeNtpServerStop();
    WSACleanup();
    EXPECT_EQ(3u, seen.size());
    seen.resize(3);
    EXPECT_EQ("サーバーとの通信中... ::1", seen[0]);
    EXPECT_EQ("エラー：受信タイムアウト発生 あと3回ﾘﾄﾗｲします。", seen[1]);
    EXPECT_TRUE(Contains(seen[2], "時計の誤差は ")) << seen[2];
}

// A folder named with a letter code page 932 lacks, under any system code page: its INI is read
// (the server it names is asked, not the built-in ones, which only our name server would hear),
// its correction log is written there, and the texts set at run time read back whole.
TEST(EndToEndAddresses, FolderNamedOutsideTheCodePageKeepsItsSettings)
{
    WSADATA data;
    WSAStartup(0x0101, &data);
    FakeNtpServerConfig config = {};
    ASSERT_EQ(0, FakeNtpServerStart(&config)) << "port 123 busy";
    std::string folder = MakeRunFolder("Zo\xC3\xAB \xE6\x99\x82\xE8\xA8\x88",
                                       BaseIni("StartupWait=0\r\nAutoClose=0\r\nSaveLog=1\r\n"));
    RunningClock clock = {};
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    std::string status = WaitForText(window, 2101, [](const std::string &text) {
        return Contains(text, "誤差") || Contains(text, "ｴﾗｰ") || Contains(text, "エラー"); }, 10000);
    std::string button = ControlText(window, 2001), title = WindowTitle(window);
    StopClock(&clock);
    EXPECT_EQ(1, FakeNtpServerRequestCount());
    FakeNtpServerStop();
    WSACleanup();
    EXPECT_TRUE(Contains(status, "時計の誤差は ")) << status;
    EXPECT_EQ("実行", button);
    EXPECT_EQ("vellmarin", title);
    std::vector<std::string> log = ReadLines(LogPath(folder));
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("\"時刻\",\"誤差(秒)\"", log[0]);
}
