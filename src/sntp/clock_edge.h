// Setting the clock on the edge of a millisecond: Windows takes whole milliseconds, so the clock
// is set right after the corrected time crosses one, to exactly that one.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <stdint.h>

// The first whole millisecond at or after now + offset (100 ns units since 1601, UTC).
uint64_t NextEdge(uint64_t now, int64_t offset);
// Spins on ReadUtcNow until now + offset has just passed a whole millisecond (at most about a
// millisecond of spinning), then asks setClock for exactly that one. Returns what setClock
// returned, with its last error left as it was.
BOOL SetClockOnEdge(int64_t offset, BOOL (WINAPI *setClock)(const SYSTEMTIME *utc));
