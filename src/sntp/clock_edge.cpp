// Setting the clock on the edge of a millisecond: what is left of the error is the few
// microseconds between the last clock reading and the call, not up to half a millisecond.
#include "sntp/clock_edge.h"
#include "ntp/ntp_time.h"
#include "sntp/exchange_record.h"

static const uint64_t Millisecond = 10000;
// A reading further past its edge than this comes after the thread was held up: setting that
// edge would leave the hold-up in the clock, so the next edge is awaited instead.
static const uint64_t JustPast = 100;

uint64_t NextEdge(uint64_t now, int64_t offset)
{
    uint64_t corrected = now + (uint64_t)offset;
    return (corrected + Millisecond - 1) / Millisecond * Millisecond;
}

BOOL SetClockOnEdge(int64_t offset, BOOL (WINAPI *setClock)(const SYSTEMTIME *utc))
{
    // The spin is measured on the performance counter: a fine clock crosses an edge within a
    // millisecond. Where the finest clock is the coarse one (before Windows 8) its readings stand
    // still for a tenth of a millisecond, and the nearest millisecond is taken. Time the thread
    // did not run is not spinning, and an edge missed gives the next one a millisecond of its
    // own, but 20 ms in all is the end.
    LARGE_INTEGER frequency, tick;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG spinLimit = frequency.QuadPart / 1000 + 1;
    const LONGLONG heldUp = frequency.QuadPart / 10000 + 1;
    const LONGLONG waitLimit = frequency.QuadPart / 50 + 1;
    QueryPerformanceCounter(&tick);
    const LONGLONG begun = tick.QuadPart;
    LONGLONG last = begun, spun = 0, changed = begun;
    uint64_t previous = ReadUtcNow();
    uint64_t edge = NextEdge(previous, offset);
    for (;;) {
        uint64_t now = ReadUtcNow();
        if (now + (uint64_t)offset >= edge) {
            if (now + (uint64_t)offset - edge < JustPast) {
                SYSTEMTIME target = FileTime64ToSystemTime(edge);
                return setClock(&target);
            }
            edge = NextEdge(now, offset);
            spun = 0;       // a missed edge: a millisecond more for the next one
        }
        QueryPerformanceCounter(&tick);
        LONGLONG gap = tick.QuadPart - last;
        last = tick.QuadPart;
        spun = gap < heldUp ? spun + gap : 0;
        if (now != previous || gap >= heldUp) {
            previous = now;
            changed = last;
        }
        if (last - changed > heldUp || spun > spinLimit || last - begun > waitLimit) {
            SYSTEMTIME nearest = FileTime64ToNearestSystemTime(ReadUtcNow() + (uint64_t)offset);
            return setClock(&nearest);
        }
    }
}
