// Time from starting the real program (StartupWait 0) to its evaluated reply on the status line,
// against the in-process fake time server; also when the request reached the server.
#include <winsock.h>
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/fake_ntp_server.h"

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 7;
    WSADATA data;
    WSAStartup(0x0101, &data);
    FakeNtpServerConfig config = {};
    if (FakeNtpServerStart(&config) != 0) {
        printf("RESULT startup_to_reply FAILED port 123 busy\n");
        return 1;
    }
    std::vector<double> replies, requests;
    std::string folder = MakeRunFolder("startup", BaseIni("StartupWait=0\r\nAutoClose=0\r\n"));
    for (int run = 0; run < runs; ++run) {
        RunningClock clock = {};
        int before = FakeNtpServerRequestCount();
        LARGE_INTEGER start = Now();
        if (LaunchClock(folder, &clock) != 0)
            break;
        double requestAt = -1, replyAt = -1;
        HWND window = NULL;
        while (SecondsSince(start) < 10 && replyAt < 0) {
            if (requestAt < 0 && FakeNtpServerRequestCount() > before)
                requestAt = SecondsSince(start);
            if (!window)
                window = FindClockWindow(clock.process.dwProcessId, 0);
            else if (ControlText(window, 2101).find("誤差") != std::string::npos)
                replyAt = SecondsSince(start);
            Sleep(1);
        }
        StopClock(&clock);
        if (replyAt > 0) {
            replies.push_back(replyAt * 1000);
            requests.push_back(requestAt * 1000);
        }
    }
    FakeNtpServerStop();
    if (replies.empty()) {
        printf("RESULT startup_to_reply FAILED no reply shown\n");
        return 1;
    }
    std::sort(replies.begin(), replies.end());
    std::sort(requests.begin(), requests.end());
    printf("RESULT startup_to_reply %.0f ms median of %zu (min %.0f, max %.0f); request sent at %.0f ms\n",
           replies[replies.size() / 2], replies.size(), replies.front(), replies.back(),
           requests[requests.size() / 2]);
    return 0;
}
