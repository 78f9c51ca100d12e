// How late the clock window's seconds change after the true UTC second boundary, seen from
// another process: the real program is started in the given look (no query: StartupWait 99),
// and its time field's text is read about every millisecond. Each change of the shown second is
// timed against the boundary of that second on the clock the program reads.
// Usage: second_flip_bench.exe standard|bar [starts] [flips per start]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <algorithm>
#include <vector>

#include "e2e/e2e_support.h"
#include "resource.h"
#include "sntp/exchange_record.h"

static const int64_t SecondUnits = 10000000;    // one second in 100 ns units
// A change seen after the reader paused longer than this (4 ms) between reads is not timed.
static const int64_t MaxUnwatched = 40000;

static int64_t UtcNow(void)
{
    FILETIME now;
    ReadFinestUtcClock(&now);
    return (int64_t)(((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime);
}

// The seconds of a shown "... HH:mm:ss" text, or -1 for any other text (a status in the bar).
static int ShownSecond(const wchar_t *text)
{
    size_t length = wcslen(text);
    if (length < 8 || text[length - 3] != L':' || !iswdigit(text[length - 2]) ||
        !iswdigit(text[length - 1]))
        return -1;
    return (text[length - 2] - L'0') * 10 + (text[length - 1] - L'0');
}

static int ReadShownSecond(HWND field)
{
    wchar_t text[128] = L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(field, WM_GETTEXT, sizeof text / sizeof text[0], (LPARAM)text,
                             SMTO_ABORTIFHUNG, 200, &copied))
        return -1;
    return ShownSecond(text);
}

// Watches one started program until `flips` changes were timed; appends their delays (ms).
static void WatchOneStart(HWND field, int flips, std::vector<double> *delays)
{
    int lastSecond = -1;
    int64_t lastReadEnd = 0;
    DWORD begun = GetTickCount();
    int timed = 0;
    while (timed < flips && GetTickCount() - begun < (DWORD)(flips + 5) * 1000) {
        int64_t readStart = UtcNow();
        int second = ReadShownSecond(field);
        int64_t readEnd = UtcNow();
        if (second >= 0 && lastSecond >= 0 && second != lastSecond &&
            readStart - lastReadEnd <= MaxUnwatched) {
            // The text changed before this read ended: a read that reaches the window while it
            // updates the field waits for the update. The boundary is that of the latest UTC
            // second whose seconds match the shown ones (local time differs from UTC by whole
            // hours here).
            int64_t whole = readEnd / SecondUnits;
            int64_t boundary = (whole - ((whole % 60 - second + 60) % 60)) * SecondUnits;
            delays->push_back((readEnd - boundary) / 10000.0);
            ++timed;
        }
        if (second >= 0)
            lastSecond = second;
        lastReadEnd = readEnd;
        Sleep(1);
    }
}

static double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[(size_t)(fraction * (values.size() - 1) + 0.5)];
}

int main(int argc, char **argv)
{
    const char *look = argc > 1 ? argv[1] : "standard";
    int starts = argc > 2 ? atoi(argv[2]) : 4;
    int flips = argc > 3 ? atoi(argv[3]) : 7;
    int bar = strcmp(look, "bar") == 0;
    std::string folder = MakeRunFolder("flip", BaseIni(bar ? "StartupWait=99\r\nFormStyle=1\r\n"
                                                           : "StartupWait=99\r\nFormStyle=0\r\n"));
    std::vector<double> delays;
    for (int start = 0; start < starts; ++start) {
        RunningClock clock = {};
        if (LaunchClock(folder, &clock) != 0)
            break;
        HWND window = FindClockWindow(clock.process.dwProcessId, 10000);
        HWND field = window ? GetDlgItem(window, bar ? IDC_DISPLAY_FIELD : IDC_TIME_FIELD) : NULL;
        if (field)
            WatchOneStart(field, flips, &delays);
        else
            fprintf(stderr, "start %d: no clock window or time field\n", start);
        StopClock(&clock);
    }
    if (delays.empty()) {
        printf("second-flip %s not measured\n", look);
        return 1;
    }
    printf("second-flip %s samples=%zu p50=%.1fms p99=%.1fms max=%.1fms starts=%d\n", look,
           delays.size(), Percentile(delays, 0.50), Percentile(delays, 0.99),
           *std::max_element(delays.begin(), delays.end()), starts);
    return 0;
}
