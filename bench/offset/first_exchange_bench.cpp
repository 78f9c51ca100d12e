// One start of the program as a user makes it: the program's own WinMain (window procedure, state
// machine, layout and exchange, with the INI beside this exe), started fresh by bench/offset/run.sh
// for each sample against a server whose clock runs exactly 5.000 s ahead. The one change is the
// clock-setting seam: the requested time is only recorded, which also closes the window. Prints
// the offset error at full precision (the correction log keeps whole milliseconds), t4 - t1, and
// the error left after the correction: the requested time against the true time when it is set.
// Started with "busy", the window thread is kept from its messages for 20 ms from the moment the
// request has gone out, as painting at start-up or a log box may keep it, while the reply lands.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/program.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"

// main.cpp is compiled into this exe with WinMain renamed to ProgramWinMain (see CMakeLists.txt).
int WINAPI ProgramWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

static const int64_t TrueOffset = 50000000;     // 5.000 s in 100 ns units
static int Answered;
static int64_t RoundTrip;
static int64_t AfterCorrection;

// Reached only for an accepted reply, after ClockOffset is known: nothing is set; the window is
// asked to close once the program has finished handling the reply.
static BOOL WINAPI RecordClockSetting(const SYSTEMTIME *utc)
{
    uint64_t trueNow = ReadUtcNow() + (uint64_t)TrueOffset;
    AfterCorrection = (int64_t)(SystemTimeToFileTime64(utc) - trueNow);
    Answered = 1;
    RoundTrip = (int64_t)(ExchangeRecord.receiveTime - ExchangeRecord.sendTime);
    if (ClockWindow)
        PostMessageA(ClockWindow, WM_CLOSE, 0, 0);
    return TRUE;
}

static void HoldWindowThread(void)
{
    Sleep(20);
}

int main(int argc, char **argv)
{
    SetSystemClock = RecordClockSetting;
    if (argc > 1 && strcmp(argv[1], "busy") == 0)
        RequestSent = HoldWindowThread;
    ProgramWinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOWNORMAL);
    if (!Answered) {
        printf("first-exchange-sample none (%s)\n", ExchangeRecord.ResultMessage);
        return 1;
    }
    printf("first-exchange-sample %.4f %.4f %.4f\n", llabs(ClockOffset - TrueOffset) / 10000.0,
           RoundTrip / 10000.0, llabs(AfterCorrection) / 10000.0);
    return 0;
}
