// The real program against a real time server: a private chronyd (started by the wrapper
// script, never touching the clock) on the loopback address given in VM_CHRONY_SERVER.
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

TEST(EndToEndChrony, ErrorAgainstChronydIsWithinMillisecondsOfZero)
{
    const char *server = getenv("VM_CHRONY_SERVER");
    ASSERT_NE(nullptr, server) << "run through chrony_e2e.sh";
    std::string ini = std::string("[SETUP]\r\nStartupWait=0\r\nAutoClose=0\r\nSaveLog=1\r\n"
                                  "[SERVER]\r\nServer0=") + server + "\r\n";
    std::string folder = MakeRunFolder("chrony", ini);
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
    printf("chronyd %s: %s\n", server, log[1].c_str());
}
