// The exchange tests' hidden clock window, message pump, output box, fixed clock and clock-setting
// recorder, plus a direct path that hands one datagram from a chosen port to ProcessReply.
#include "sntp/exchange_harness.h"
#include <string.h>
#include "base/program.h"
#include "sntp/exchange.h"
#include "sntp/host_lookup.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"

std::vector<HandlerCall> HandlerCalls;
std::vector<SYSTEMTIME> ClockSettings;
BOOL ClockSettingResult = TRUE;
ReceivedDatagram LastHandedOver;

static HWND OutputBox;
static std::vector<uint64_t> FixedInstants;
static size_t FixedNext;
static uint64_t FixedStep;         // how far each read past the queued instants goes on
static SOCKET Senders[2][2] = {{INVALID_SOCKET, INVALID_SOCKET}, {INVALID_SOCKET, INVALID_SOCKET}};
static unsigned short SenderPorts[2][2];

static LRESULT CALLBACK HarnessWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOST_RESOLVED) {
        HandlerCalls.push_back({message, OnHostResolved(wParam, lParam)});
        return 0;
    }
    if (message == WM_REPLY_RECEIVED) {
        if (lParam != 0)
            LastHandedOver = *(const ReceivedDatagram *)lParam;
        HandlerCalls.push_back({message, OnReplyReceived(wParam, lParam)});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static BOOL WINAPI RecordClockSetting(const SYSTEMTIME *utc)
{
    ClockSettings.push_back(*utc);
    if (!ClockSettingResult)
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);     // as for a process without the right
    return ClockSettingResult;
}

void CreateHarnessWindows(void)
{
    if (ClockWindow != NULL)
        return;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HarnessWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "ExchangeHarness";
    RegisterClassA(&windowClass);
    ClockWindow = CreateWindowA("ExchangeHarness", "harness", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                NULL, NULL, windowClass.hInstance, NULL);
    OutputBox = CreateWindowA("EDIT", "", WS_CHILD | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 100, 100,
                              ClockWindow, NULL, windowClass.hInstance, NULL);
    SendMessageA(OutputBox, EM_SETLIMITTEXT, 0, 0);
    SetSystemClock = RecordClockSetting;
}

HWND HarnessOutputBox(void)
{
    return OutputBox;
}

std::vector<std::string> OutputLines(void)
{
    int length = GetWindowTextLengthA(OutputBox);
    std::string text(length + 1, '\0');
    GetWindowTextA(OutputBox, &text[0], length + 1);
    text.resize(length);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

void ResetHarness(void)
{
    CreateHarnessWindows();
    NameFunctions = NameFunctionsRecord{};
    FakeResolverGate = NULL;
    CloseExchange();
    PumpFor(0);
    HandlerCalls.clear();
    ClockSettings.clear();
    ClockSettingResult = TRUE;
    SetWindowTextA(OutputBox, "");
    TestOutputBox = NULL;
    ExchangeRecord.ResultMessage[0] = '\0';
    TickCounter = 0;
    memset(RecentServers, 0, sizeof RecentServers);
    UseRealClock();
}

static void DispatchWaiting(void)
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Waits for the next message rather than polling, so a reply is handled as soon as its receiving
// thread posts it, as the program's own message loop does.
static void WaitForMessage(DWORD ms)
{
    MsgWaitForMultipleObjects(0, NULL, FALSE, ms, QS_ALLINPUT);
}

void PumpFor(int ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchWaiting();
        int left = ms - (int)(GetTickCount() - start);
        if (left <= 0)
            return;
        WaitForMessage((DWORD)left);
    }
}

int PumpUntilIdle(int ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchWaiting();
        if (ExchangeRecord.phase == ExchangeIdle)
            return 1;
        int left = ms - (int)(GetTickCount() - start);
        if (left <= 0)
            return 0;
        WaitForMessage((DWORD)left);
    }
}

int StartAndSend(const char *server, int applyRetryRule)
{
    int started = StartExchange(server, applyRetryRule);
    return started == 0 ? SendPreparedRequest() : started;
}

int RunExchange(const char *server, int applyRetryRule)
{
    int started = StartAndSend(server, applyRetryRule);
    if (started == 0)
        PumpUntilIdle(2000);
    return started;
}

static void WINAPI ReadFixedClock(LPFILETIME utc)
{
    size_t last = FixedInstants.size() - 1;
    uint64_t value = FixedNext <= last ? FixedInstants[FixedNext]
                                       : FixedInstants[last] + (FixedNext - last) * FixedStep;
    FixedNext++;
    utc->dwLowDateTime = (DWORD)value;
    utc->dwHighDateTime = (DWORD)(value >> 32);
}

void UseFixedClock(const std::vector<uint64_t> &fileTimes, uint64_t step)
{
    FixedStep = step;
    FixedInstants = fileTimes;
    FixedNext = 0;
    ReadUtcClock = ReadFixedClock;
}

void UseRealClock(void)
{
    ReadUtcClock = ReadFinestUtcClock;
}

uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second, int ms)
{
    SYSTEMTIME time = {};
    time.wYear = (WORD)year;
    time.wMonth = (WORD)month;
    time.wDay = (WORD)day;
    time.wHour = (WORD)hour;
    time.wMinute = (WORD)minute;
    time.wSecond = (WORD)second;
    time.wMilliseconds = (WORD)ms;
    FILETIME fileTime;
    SystemTimeToFileTime(&time, &fileTime);
    return ((uint64_t)fileTime.dwHighDateTime << 32) | fileTime.dwLowDateTime;
}

// The loopback address of the family (127.0.0.1 or ::1) with the port.
static struct sockaddr_storage Loopback(int family, unsigned short port)
{
    struct sockaddr_storage address;
    ParseAddressLiteral(family == AF_INET6 ? "::1" : "127.0.0.1", &address);
    SetAddressPort(&address, port);
    return address;
}

static SOCKET LoopbackSocket(int family, unsigned short port)
{
    SOCKET s = socket(family, SOCK_DGRAM, 0);
    struct sockaddr_storage local = Loopback(family, port);
    if (s != INVALID_SOCKET &&
        bind(s, (struct sockaddr *)&local, AddressLength(&local)) == SOCKET_ERROR) {
        closesocket(s);
        s = INVALID_SOCKET;
    }
    return s;
}

static SOCKET SenderFor(int family, unsigned short port)
{
    int index = port == 123 ? 0 : 1;
    SOCKET *slot = &Senders[family == AF_INET6][index];
    unsigned short *slotPort = &SenderPorts[family == AF_INET6][index];
    if (*slot != INVALID_SOCKET && index == 1 && *slotPort != port) {
        closesocket(*slot);
        *slot = INVALID_SOCKET;
    }
    if (*slot == INVALID_SOCKET) {
        *slot = LoopbackSocket(family, port);
        *slotPort = port;
    }
    return *slot;
}

void CloseSenders(void)
{
    for (auto &family : Senders) {
        for (SOCKET &s : family) {
            if (s != INVALID_SOCKET) {
                closesocket(s);
                s = INVALID_SOCKET;
            }
        }
    }
}

int DeliverAndProcess(const uint8_t *data, int length, unsigned short fromPort, int family)
{
    // The client takes the same port every time (a closed UDP port is free at once), which
    // saves a call per datagram; loopback delivery is complete when sendto returns.
    static unsigned short clientPorts[2];
    unsigned short &clientPort = clientPorts[family == AF_INET6];
    CloseExchange();
    SOCKET sender = SenderFor(family, fromPort);
    SOCKET client = LoopbackSocket(family, clientPort);
    if (sender == INVALID_SOCKET || client == INVALID_SOCKET)
        return -9;
    if (clientPort == 0) {
        struct sockaddr_storage bound = {};
        int boundLength = sizeof bound;
        getsockname(client, (struct sockaddr *)&bound, &boundLength);
        clientPort = AddressPort(&bound);
    }
    struct sockaddr_storage clientAddress = Loopback(family, clientPort);
    ExchangeRecord.socket = client;
    ExchangeRecord.address = Loopback(family, 123);
    ExchangeRecord.phase = ExchangeAwaitingReply;
    ExchangeRecord.phaseTicks = 0;
    if (sendto(sender, (const char *)data, length, 0, (struct sockaddr *)&clientAddress,
               AddressLength(&clientAddress)) == SOCKET_ERROR)
        return -9;
    ReceivedDatagram datagram;
    ReceiveDatagram(client, ReadUtcNow(), &datagram);
    return ProcessReply(&datagram);
}

void BuildReply(uint8_t reply[48], uint64_t t2, uint64_t t3, int leap, int stratum)
{
    memset(reply, 0, 48);
    reply[0] = (uint8_t)(leap << 6 | 4 << 3 | 4);
    reply[1] = (uint8_t)stratum;
    reply[2] = 6;
    reply[3] = (uint8_t)-20;
    memcpy(reply + 12, "GPS\0", 4);
    FakeNtpPutTimestamp(reply + 16, t2 - 10000000);
    HostToNetworkTimestamp(ExchangeRecord.sendStamp, reply + 24);
    FakeNtpPutTimestamp(reply + 32, t2);
    FakeNtpPutTimestamp(reply + 40, t3);
}
