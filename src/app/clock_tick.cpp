// The clock's 250 ms tick: the timer re-armed for just after each quarter second and the work of
// every tick, on one reading of the clock.
#include "app/clock_tick.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "ntp/ntp_time.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"

enum {
    ClockTimerId = 1,
    QuarterSecond = 2500000,        // 100 ns units
    TickMargin = 20000,             // aim 2 ms past the boundary, so the new second is there
    EarlySlack = 50000,             // a tick less than 5 ms before its boundary is early
    HundredNsPerMs = 10000
};

static SYSTEMTIME LastSecondSeen;

UINT TickDelay(uint64_t now)
{
    uint64_t wait = QuarterSecond - now % QuarterSecond + TickMargin;
    return (UINT)((wait + HundredNsPerMs - 1) / HundredNsPerMs);
}

int TickIsEarly(uint64_t now)
{
    return now % QuarterSecond >= (uint64_t)(QuarterSecond - EarlySlack);
}

// The clock the display and the machine read; a clock that was stepped is followed from the
// next tick on.
static uint64_t ReadTickClock(SYSTEMTIME *utc)
{
    SyncServices.readUtcTime(utc);
    return SystemTimeToFileTime64(utc);
}

void ArmClockTimer(HWND window)
{
    SYSTEMTIME utc;
    SetTimer(window, ClockTimerId, TickDelay(ReadTickClock(&utc)), NULL);
}

void ClockTimerFired(HWND window)
{
    SYSTEMTIME now;
    uint64_t units = ReadTickClock(&now);
    if (window)
        SetTimer(window, ClockTimerId, TickDelay(units), NULL);
    if (TickIsEarly(units))
        return;
    TickCounter += 1;
    if (now.wSecond != LastSecondSeen.wSecond) {
        LastSecondSeen = now;
        RefreshClockDisplay();
    }
    if (LeapRecheckTicks != 0)
        LeapRecheckTicks -= 1;
    MachineTick();
}
