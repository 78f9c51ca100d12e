// Many corrections in one process through the clock-setting seam, which only records: the seam
// reads the finest clock when it is called, and the error of a correction is the requested time
// minus (that reading + the offset). "nearest" measures the earlier way, the nearest millisecond.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <vector>

#include "ntp/ntp_time.h"
#include "sntp/clock_edge.h"
#include "sntp/exchange_record.h"

static uint64_t Reading;
static SYSTEMTIME Requested;

static BOOL WINAPI RecordClockSetting(const SYSTEMTIME *utc)
{
    Reading = ReadUtcNow();
    Requested = *utc;
    return TRUE;
}

int main(int argc, char **argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    int nearest = argc > 2 && strcmp(argv[2], "nearest") == 0;
    if (count < 1)
        count = 1;
    std::vector<double> errors;
    uint32_t seed = GetTickCount() | 1;
    for (int i = 0; i < count; ++i) {
        // Offsets up to ±100 s with every 100 ns fraction, so each correction meets another phase.
        seed = seed * 1664525u + 1013904223u;
        int64_t offset = (int64_t)(seed % 2000000000u) - 1000000000;
        if (nearest) {
            SYSTEMTIME corrected = FileTime64ToNearestSystemTime(ReadUtcNow() + (uint64_t)offset);
            RecordClockSetting(&corrected);
        } else {
            SetClockOnEdge(offset, RecordClockSetting);
        }
        int64_t error = (int64_t)(SystemTimeToFileTime64(&Requested) - (Reading + (uint64_t)offset));
        errors.push_back(llabs(error) / 10000.0);
        if (i % 50 == 49)
            Sleep(1);       // now and then give the processor up, as a real start would
    }
    std::sort(errors.begin(), errors.end());
    size_t n = errors.size();
    printf("set-error%s corrections=%d p50=%.4fms p99=%.4fms max=%.4fms\n", nearest ? "-nearest" : "",
           count, errors[(size_t)(0.50 * (n - 1) + 0.5)], errors[(size_t)(0.99 * (n - 1) + 0.5)],
           errors[n - 1]);
    return 0;
}
