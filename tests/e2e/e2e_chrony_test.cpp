// The real program against a real time server: a private chronyd (started by the wrapper
// script, never touching the clock) on the loopback address given in VM_CHRONY_SERVER and on
// ::1, reached by address and by a name that only the wrapper's own name server knows.
#include <gtest/gtest.h>
#include <windows.h>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

static bool IsResult(const std::string &text)
{
    return text.find("誤差") != std::string::npos || text.find("エラー") != std::string::npos;
}

static std::string Ini(const char *server)
{
    return std::string("[SETUP]\r\nStartupWait=0\r\nAutoClose=0\r\nSaveLog=1\r\n"
                       "[SERVER]\r\nServer0=") + server + "\r\n";
}

// Each server form from a fresh folder: the correction log's one entry is near zero.
TEST(EndToEndChrony, ErrorAgainstChronydIsWithinMillisecondsOfZero)
{
    const char *server = getenv("VM_CHRONY_SERVER");
    const char *name = getenv("VM_IPV6_NAME");
    ASSERT_NE(nullptr, server) << "run through chrony_e2e.sh";
    ASSERT_NE(nullptr, name) << "run through chrony_e2e.sh";
    for (const char *entry : {server, "::1", name}) {
        SCOPED_TRACE(entry);
        std::string folder = MakeRunFolder("chrony", Ini(entry));
        RunningClock clock = {};
        ASSERT_EQ(0, LaunchClock(folder, &clock));
        HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
        ASSERT_NE(nullptr, window);
        std::string status = WaitForText(window, 2101, IsResult, 10000);
        EXPECT_TRUE(Contains(status, "時計の誤差は ")) << status;
        std::vector<std::string> log = ReadLines(LogPath(folder));
        StopClock(&clock);
        ASSERT_EQ(2u, log.size());
        double error = ErrorSeconds(log[1].substr(log[1].find(',') + 1));
        EXPECT_LT(fabs(error), 0.010) << log[1];
        printf("chronyd %s: %s\n", entry, log[1].c_str());
    }
}

// A lookup that never ends holds nothing up: closed meanwhile, the program is gone at once.
TEST(EndToEndChrony, ProgramClosesWhileItsLookupHangs)
{
    const char *hanging = getenv("VM_HANGING_NAME");
    ASSERT_NE(nullptr, hanging) << "run through chrony_e2e.sh";
    RunningClock clock = {};
    ASSERT_EQ(0, LaunchClock(MakeRunFolder("hang", Ini(hanging)), &clock));
    HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
    ASSERT_NE(nullptr, window);
    Sleep(1500);
    EXPECT_EQ("サーバーとの通信中...", ControlText(window, 2101));
    LARGE_INTEGER closed = Now();
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, WaitForExit(&clock, 5000));
    printf("exited %.2f s after WM_CLOSE with its lookup hanging\n", SecondsSince(closed));
    StopClock(&clock);
}
