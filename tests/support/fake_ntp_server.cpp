// The in-process fake time server used by the exchange tests and the end-to-end tests: a thread
// with UDP sockets on 127.0.0.1:123 and [::1]:123 that builds an honest reply and lets a test
// bend it.
#include "support/fake_ntp_server.h"
#include <ws2tcpip.h>
#include <windows.h>
#include <string.h>

static const uint64_t NtpEraStart = 94354848000000000ULL;   // 1900-01-01 as FILETIME

static const uint64_t ForgeryShift = 36000000000ULL;     // one hour

enum { Families = 2 };   // IPv4, IPv6
static SOCKET ServerSockets[Families] = {INVALID_SOCKET, INVALID_SOCKET};
static SOCKET ForgerSockets[Families] = {INVALID_SOCKET, INVALID_SOCKET};
static HANDLE ServerThread;
static CRITICAL_SECTION ConfigLock;
static int ConfigLockReady;
static FakeNtpServerConfig Config;
static volatile LONG StopRequested;
static volatile LONG RequestCount;
static uint8_t LastRequest[48];
// The finest UTC clock the system offers, as the client reads it, so the stamps are no coarser.
typedef void (WINAPI *ClockFunction)(LPFILETIME utc);
static ClockFunction ServerClock = GetSystemTimeAsFileTime;

uint64_t FakeNtpNow(void)
{
    FILETIME now;
    ServerClock(&now);
    return ((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

void FakeNtpPutTimestamp(uint8_t *out, uint64_t fileTime)
{
    uint64_t units = fileTime - NtpEraStart;
    uint32_t seconds = (uint32_t)(units / 10000000);
    uint32_t fraction = (uint32_t)(((units % 10000000) << 32) / 10000000);
    for (int i = 0; i < 4; i++) {
        out[i] = (uint8_t)(seconds >> (24 - 8 * i));
        out[4 + i] = (uint8_t)(fraction >> (24 - 8 * i));
    }
}

static void Answer(int family, const uint8_t *request, int length, uint64_t arrival,
                   const struct sockaddr *client, int clientLength)
{
    EnterCriticalSection(&ConfigLock);
    FakeNtpServerConfig config = Config;
    LeaveCriticalSection(&ConfigLock);
    InterlockedIncrement(&RequestCount);
    memcpy(LastRequest, request, length < 48 ? length : 48);
    if (config.silent || (config.silentIpv6 && family == 1))
        return;

    uint8_t reply[FakeReplyCapacity] = {0};
    reply[0] = 0x24;            // LI 0, VN 4, mode 4
    reply[1] = 2;               // stratum
    reply[2] = 6;               // poll 64 s
    reply[3] = (uint8_t)-20;    // precision about 1 us
    reply[9] = 0x01;            // root dispersion about 4 ms
    memcpy(reply + 12, "LOCL", 4);
    FakeNtpPutTimestamp(reply + 16, arrival + config.offset - 640000000);
    memcpy(reply + 24, request + 40, 8);
    FakeNtpPutTimestamp(reply + 32, arrival + config.offset);
    FakeNtpPutTimestamp(reply + 40, FakeNtpNow() + config.offset);
    int replyLength = 48;
    if (config.shape != NULL)
        config.shape(reply, &replyLength, config.context);
    if (replyLength < 0)
        return;
    if (replyLength > FakeReplyCapacity)
        replyLength = FakeReplyCapacity;
    if (config.forgeFirst && ForgerSockets[family] != INVALID_SOCKET) {
        uint8_t forged[FakeReplyCapacity];
        memcpy(forged, reply, sizeof forged);
        FakeNtpPutTimestamp(forged + 32, arrival + config.offset + ForgeryShift);
        FakeNtpPutTimestamp(forged + 40, arrival + config.offset + ForgeryShift);
        sendto(ForgerSockets[family], (const char *)forged, replyLength, 0, client, clientLength);
    }
    sendto(ServerSockets[family], (const char *)reply, replyLength, 0, client, clientLength);
}

// A wait for either socket with a short time-out, then one receive per request: the stamps stay
// close to the datagram's real arrival, and the time-out lets the loop notice a stop.
static DWORD WINAPI ServerLoop(LPVOID)
{
    while (!StopRequested) {
        fd_set ready;
        FD_ZERO(&ready);
        for (SOCKET s : ServerSockets)
            FD_SET(s, &ready);
        struct timeval timeout = {0, 20000};
        if (select(0, &ready, NULL, NULL, &timeout) <= 0)
            continue;
        for (int family = 0; family < Families; family++) {
            if (!FD_ISSET(ServerSockets[family], &ready))
                continue;
            uint8_t request[512];
            struct sockaddr_storage client = {};
            int clientLength = sizeof client;
            int length = recvfrom(ServerSockets[family], (char *)request, sizeof request, 0,
                                  (struct sockaddr *)&client, &clientLength);
            uint64_t arrival = FakeNtpNow();
            if (length >= 48)
                Answer(family, request, length, arrival, (struct sockaddr *)&client, clientLength);
        }
    }
    return 0;
}

static SOCKET BoundSocket(int family, u_short port)
{
    SOCKET s = socket(family == 0 ? AF_INET : AF_INET6, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return s;
    struct sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    struct sockaddr_in6 local6 = {};
    local6.sin6_family = AF_INET6;
    local6.sin6_port = htons(port);
    local6.sin6_addr.s6_addr[15] = 1;
    int bound = family == 0 ? bind(s, (struct sockaddr *)&local, sizeof local)
                            : bind(s, (struct sockaddr *)&local6, sizeof local6);
    if (bound == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

int FakeNtpServerStart(const FakeNtpServerConfig *config)
{
    FakeNtpServerStop();
    if (!ConfigLockReady) {
        InitializeCriticalSection(&ConfigLock);
        ConfigLockReady = 1;
    }
    FakeNtpServerConfigure(config);
    FARPROC precise = GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                     "GetSystemTimePreciseAsFileTime");
    ServerClock = precise != NULL ? (ClockFunction)(void (*)(void))precise : GetSystemTimeAsFileTime;
    for (int family = 0; family < Families; family++) {
        ServerSockets[family] = BoundSocket(family, 123);
        if (ServerSockets[family] == INVALID_SOCKET) {
            FakeNtpServerStop();
            return -1;
        }
        ForgerSockets[family] = BoundSocket(family, 0);
    }
    StopRequested = 0;
    RequestCount = 0;
    memset(LastRequest, 0, sizeof LastRequest);
    ServerThread = CreateThread(NULL, 0, ServerLoop, NULL, 0, NULL);
    if (ServerThread == NULL) {
        FakeNtpServerStop();
        return -1;
    }
    return 0;
}

void FakeNtpServerConfigure(const FakeNtpServerConfig *config)
{
    if (!ConfigLockReady)
        return;
    FakeNtpServerConfig fresh = {};
    if (config != NULL)
        fresh = *config;
    EnterCriticalSection(&ConfigLock);
    Config = fresh;
    LeaveCriticalSection(&ConfigLock);
}

int FakeNtpServerRequestCount(void)
{
    return (int)RequestCount;
}

void FakeNtpServerLastRequest(uint8_t out[48])
{
    memcpy(out, LastRequest, 48);
}

void FakeNtpServerStop(void)
{
    if (ServerThread != NULL) {
        InterlockedExchange(&StopRequested, 1);
        WaitForSingleObject(ServerThread, INFINITE);
        CloseHandle(ServerThread);
        ServerThread = NULL;
    }
    for (int family = 0; family < Families; family++) {
        if (ServerSockets[family] != INVALID_SOCKET) {
            closesocket(ServerSockets[family]);
            ServerSockets[family] = INVALID_SOCKET;
        }
        if (ForgerSockets[family] != INVALID_SOCKET) {
            closesocket(ForgerSockets[family]);
            ForgerSockets[family] = INVALID_SOCKET;
        }
    }
}
