// A time server inside the test process: one thread bound to exactly 127.0.0.1:123 (the only
// loopback address a Wine process can bind alone) and [::1]:123 that answers every request, in
// any shape.
#pragma once
#include <winsock2.h>
#include <stdint.h>

// What the server does with each request. All fields zero gives a plain, correct reply from a
// stratum 2 server whose clock is the real UTC clock.
struct FakeNtpServerConfig {
    int64_t offset;     // 100 ns units added to the real UTC clock in the Receive/Transmit stamps
    int silent;         // 1: read the request, answer nothing
    int silentIpv6;     // 1: the same on [::1]:123 only, as a path that drops IPv6 does
    int forgeFirst;     // 1: first send a forgery from the server's address, another port: the reply
                        // with its Receive and Transmit stamps one hour later
    // Optional, run on the server thread: reshape the finished reply (all four timestamps set)
    // before it goes out. reply holds 48 valid bytes in a buffer of FakeReplyCapacity; *length may be set from 0 to
    // FakeReplyCapacity; a negative *length sends nothing.
    void (*shape)(uint8_t *reply, int *length, void *context);
    void *context;
};

enum { FakeReplyCapacity = 600 };

// Binds 127.0.0.1:123 and [::1]:123 and starts the thread; 0 when listening, -1 when either
// port cannot be had.
// WinSock must already be started (WSAStartup) by the caller.
int FakeNtpServerStart(const FakeNtpServerConfig *config);
// Replaces the configuration for the following requests (the config is copied).
void FakeNtpServerConfigure(const FakeNtpServerConfig *config);
// Requests received since the start.
int FakeNtpServerRequestCount(void);
// The last request received (48 bytes; zeros before the first).
void FakeNtpServerLastRequest(uint8_t out[48]);
// Stops the thread and closes the port; harmless when not running.
void FakeNtpServerStop(void);

// Network-order NTP timestamp of a FILETIME count (100 ns since 1601), for shaping replies.
void FakeNtpPutTimestamp(uint8_t *out, uint64_t fileTime);
uint64_t FakeNtpNow(void);  // the real UTC clock as a FILETIME count
