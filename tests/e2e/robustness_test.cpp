// The real program under wear: a thousand exchanges, a garbage INI file, a log it cannot write,
// and a kill in the middle of a run.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/fake_ntp_server.h"
#include "support/process_counts.h"

enum { StatusFieldId = 2101, TimeFieldId = 2100, RunButtonId = 2001 };

class Robustness : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(0x0101, &data);
    }
    static void TearDownTestSuite() { WSACleanup(); }
    void SetUp() override { ASSERT_EQ(0, FakeNtpServerStart(&config)) << "port 123 busy"; }
    void TearDown() override
    {
        StopClock(&clock);
        FakeNtpServerStop();
    }
    // Presses the run button and waits until the server has answered and the result is shown.
    bool SyncOnce(HWND window, int expectedRequests)
    {
        PostMessageA(window, WM_COMMAND, RunButtonId, 0);
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 5000) {
            if (FakeNtpServerRequestCount() >= expectedRequests &&
                !Contains(ControlText(window, StatusFieldId), "通信中"))
                return true;
            Sleep(1);
        }
        return false;
    }
    FakeNtpServerConfig config = {};
    RunningClock clock = {};
};

static const char QuietIni[] = "StartupWait=99\r\nAutoClose=0\r\nSaveLog=1\r\n";

TEST_F(Robustness, ThousandExchangesKeepHandlesAndGraphicsObjectsFlat)
{
    std::string folder = MakeRunFolder("thousand", BaseIni(QuietIni));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    HANDLE process = clock.process.hProcess;
    DWORD handles[2] = {}, gdi[2] = {}, user[2] = {};
    for (int i = 1; i <= 1000; ++i) {
        ASSERT_TRUE(SyncOnce(window, i)) << "exchange " << i;
        if (i == 20 || i == 1000) {
            int at = i == 20 ? 0 : 1;
            handles[at] = ProcessHandleCount(process, clock.process.dwProcessId);
            gdi[at] = ProcessGdiCount(process);
            user[at] = ProcessWindowCount(clock.process.dwProcessId);
        }
    }
    printf("handles %lu -> %lu, GDI objects %lu -> %lu, windows %lu -> %lu\n", handles[0], handles[1], gdi[0],
           gdi[1], user[0], user[1]);
    EXPECT_GT(handles[0], 0u);
    EXPECT_GT(gdi[0], 0u);
    EXPECT_GT(user[0], 0u);
    EXPECT_LE(handles[1], handles[0] + 2);
    EXPECT_LE(gdi[1], gdi[0] + 2);
    EXPECT_LE(user[1], user[0] + 2);
    EXPECT_TRUE(Contains(ControlText(window, StatusFieldId), "時計の誤差は "));
    std::vector<std::string> log = ReadLines(LogPath(folder));
    EXPECT_EQ(1001u, log.size()) << "a header and one line per exchange";
}

// Binary bytes and overlong lines where the options should be: every option keeps its default.
TEST_F(Robustness, GarbageIniStartsWithDefaults)
{
    std::string ini = "[SERVER]\r\nServer0=127.0.0.1\r\n[SETUP]\r\n";
    for (int i = 0; i < 256; ++i)
        if (i != '\r' && i != '\n' && i != 0)
            ini += (char)i;
    ini += "\r\nStartupWait" + std::string(10000, '7') + "\r\n";
    ini += "Unknown=" + std::string(10000, '\xff') + "\r\n";
    ini += std::string(10000, 'x') + "\r\n";
    for (int i = 0; i < 5000; ++i)
        ini += "\x81\x40";   // a line of double-byte spaces
    ini += "\r\n[" + std::string(10000, 'S') + "]\r\nFormStyle=1\r\n";
    std::string folder = MakeRunFolder("garbage", ini);
    // The server list must still read back as loopback, or the program would ask the defaults.
    char server[64];
    GetPrivateProfileStringA("SERVER", "Server0", "", server, sizeof server,
                             (folder + "vellmarin.ini").c_str());
    ASSERT_STREQ("127.0.0.1", server);

    LARGE_INTEGER started = Now();
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("vellmarin", WindowTitle(window));
    EXPECT_NE(nullptr, GetDlgItem(window, TimeFieldId)) << "the standard look";
    std::string status = WaitForText(window, StatusFieldId,
                                     [](const std::string &text) { return Contains(text, "誤差"); },
                                     10000);
    double firstQuery = SecondsSince(started);
    EXPECT_TRUE(Contains(status, "時計の誤差は ")) << status;
    EXPECT_GT(firstQuery, 0.9) << "StartupWait 1";
    EXPECT_LT(firstQuery, 4.0);
    EXPECT_EQ(0, WaitForExit(&clock, 10000)) << "AutoClose 1";
}

static HWND FindErrorBox(DWORD processId, DWORD timeoutMs)
{
    return FindProcessWindow(processId, NULL, "vellmarin エラー", 1, timeoutMs);
}

// The log's name is taken by a folder, so every write fails: one warning per entry, and the
// program goes on working between them.
TEST_F(Robustness, UnwritableLogWarnsOncePerEntryAndKeepsRunning)
{
    std::string folder = MakeRunFolder("unwritable", BaseIni(QuietIni));
    ASSERT_TRUE(CreateDirectoryA(LogPath(folder).c_str(), NULL));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    DWORD pid = clock.process.dwProcessId;
    for (int entry = 1; entry <= 2; ++entry) {
        PostMessageA(window, WM_COMMAND, RunButtonId, 0);
        HWND box = FindErrorBox(pid, 5000);
        ASSERT_NE(nullptr, box) << "entry " << entry;
        char text[512] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        EXPECT_TRUE(Contains(text, "ログファイルへの書き込み失敗")) << text;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        DWORD start = GetTickCount();
        while (IsWindow(box) && GetTickCount() - start < 5000)
            Sleep(20);
        EXPECT_FALSE(IsWindow(box));
        EXPECT_EQ(nullptr, FindErrorBox(pid, 1000)) << "one box for entry " << entry;
        std::string status = WaitForText(window, StatusFieldId,
                                         [](const std::string &t) { return Contains(t, "誤差"); },
                                         5000);
        EXPECT_TRUE(Contains(status, "時計の誤差は ")) << status;
    }
    EXPECT_EQ(-1, WaitForExit(&clock, 0));
    EXPECT_EQ(2, FakeNtpServerRequestCount());
}

// Killed between entries, the log keeps every line it had, each complete.
TEST_F(Robustness, KillingTheProgramKeepsEarlierLogLines)
{
    std::string folder = MakeRunFolder("killed", BaseIni(QuietIni));
    ASSERT_EQ(0, LaunchClock(folder, &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    for (int i = 1; i <= 20; ++i)
        ASSERT_TRUE(SyncOnce(window, i));
    PostMessageA(window, WM_COMMAND, RunButtonId, 0);   // a run in flight when the kill comes
    TerminateProcess(clock.process.hProcess, 9);
    EXPECT_EQ(9, WaitForExit(&clock, 5000));
    std::string content = ReadWholeFile(LogPath(folder));
    std::vector<std::string> lines = ReadLines(LogPath(folder));
    ASSERT_GE(lines.size(), 21u);
    ASSERT_LE(lines.size(), 22u);
    EXPECT_EQ("\r\n", content.substr(content.size() - 2)) << "no torn last line";
    for (size_t i = 1; i < lines.size(); ++i) {
        int y, mo, d, h, mi, s;
        double error;
        EXPECT_EQ(7, sscanf(lines[i].c_str(), "%d/%d/%d %d:%d:%d,%lf", &y, &mo, &d, &h, &mi, &s,
                            &error)) << lines[i];
    }
}
