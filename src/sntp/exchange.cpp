// One SNTP exchange at a time over WinSock 2, IPv4 or IPv6, driven by window messages (the
// lookup's end, each datagram the receiving thread hands over) and clock ticks. Owns the
// one-minute rule table and ends the exchange on the reply evaluation's verdict.
#include "sntp/exchange.h"
#include <stdio.h>
#include <string.h>
#include "base/program.h"
#include "base/wide_text.h"
#include "base/settings.h"
#include "sntp/host_lookup.h"
#include "sntp/kiss_memory.h"
#include "sntp/reply.h"
#include "sntp/step_check.h"

RecentServer RecentServers[RecentServerSlots];
uint32_t TickCounter;
int (WINAPI *NetworkStartup)(WORD version, LPWSADATA data) = WSAStartup;
int (WINAPI *NetworkErrorBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style) = MessageBox932;
void (*AnnounceLookedUpAddress)(void);
void (*RequestSent)(void);

enum { ServerPort = 123, RequestBytesSent = 48, LookupTimeoutTicks = 120, ReplyTimeoutTicks = 4 };
// WinSock 2.2 is what IPv6 needs, and what every ws2_32 gives when asked for it.
static const WORD NetworkVersion = MAKEWORD(2, 2);

// The addresses the name last looked up has, asked in turn: after a failure on one address (a
// time-out, a failed send) the run's next attempt for that name asks the next one without looking
// the name up again, while the list is young. Anything else looks the name up afresh: another name,
// an attempt that ignores the one-minute rule (a manual start or a server test, which start runs
// of their own), a list used up or older than KeptListTicks (its names' records may have changed).
enum { KeptListTicks = 1200 };      // five minutes
static struct {
    char name[ServerNameMax + 1];
    struct sockaddr_storage addresses[LookupAddressMax];
    int count;
    int asked;                      // the address the current or last exchange asked
    int failedOnAddress;            // that exchange ended on its address, not on the server's reply
    uint32_t lookedUpAt;            // TickCounter
} Kept;

static int StartupResult = -1;
static WSADATA StartupData;

// RtlGenRandom, looked up at run time so the program needs no import of advapi32.
typedef BOOLEAN (WINAPI *RandomFunction)(PVOID buffer, ULONG length);
static RandomFunction SystemRandom;
static int SystemRandomLooked;

void StartNetwork(void)
{
    ExchangeRecord.phase = ExchangeIdle;
    StartupResult = NetworkStartup(NetworkVersion, &StartupData);
    if (StartupResult != 0)
        NetworkErrorBox(NULL, "WSAStartup() Error.", "ERROR", MB_OK);
}

void StopNetwork(void)
{
    CloseExchange();
    // Only a successful start-up is balanced, and only once, so a second stop is harmless.
    if (StartupResult == 0)
        WSACleanup();
    StartupResult = -1;
}

void CloseExchange(void)
{
    if (ExchangeRecord.lookup != NULL) {
        // The worker may still be looking up; it frees its block itself and posts nothing more.
        AbandonLookup(ExchangeRecord.lookup);
        ExchangeRecord.lookup = NULL;
    }
    // The receiver lets go first, so nothing more is posted and its wait ends; the thread is gone
    // before the socket's handle can be reused.
    ReplyReceiver *receiver = ExchangeRecord.receiver;
    ExchangeRecord.receiver = NULL;
    SilenceReplyReceiver(receiver);
    if (ExchangeRecord.socket != INVALID_SOCKET) {
        shutdown(ExchangeRecord.socket, 2);
        closesocket(ExchangeRecord.socket);
        ExchangeRecord.socket = INVALID_SOCKET;
    }
    EndReplyReceiver(receiver);
    ExchangeRecord.phase = ExchangeIdle;
}

int FailExchange(void)
{
    AppendTestLine("通信失敗");
    ExchangeRecord.ExchangeFailed = 1;
    CloseExchange();
    return 1;
}

int ProcessReply(const ReceivedDatagram *datagram)
{
    int verdict = EvaluateReply(datagram);
    if (verdict == -2)
        return -2;      // its exchange ended meanwhile: nothing of it is left to end
    if (verdict < 0)
        return -1;
    if (verdict > 0)
        return FailExchange();
    AppendTestLine("通信成功");
    ExchangeRecord.ExchangeFailed = 0;
    CloseExchange();
    return 0;
}

void CancelExchange(void)
{
    CloseExchange();
    SetResultMessage("処理を中止しました。");
}

// A kiss bars only the address that sent it: the name's first kept address from `from` on that no
// kiss refused in this start is asked, after a lookup as on the walk to the next address (the
// last one in any case, so the refusal is named).
static int KeptAddressNotRefused(int from)
{
    while (from + 1 < Kept.count && AddressRefused(&Kept.addresses[from]))
        ++from;
    return from;
}

int NameHasAddressesLeft(const char *name)
{
    return name != NULL && strcmp(Kept.name, name) == 0 && Kept.failedOnAddress &&
           Kept.asked + 1 < Kept.count &&
           TickCounter - Kept.lookedUpAt < (uint32_t)KeptListTicks;
}

const char *AskedAddressText(char *text, size_t size)
{
    int phase = ExchangeRecord.phase;
    int known = phase == ExchangeReady || phase == ExchangeAwaitingReply || phase == ExchangeProcessing;
    if (!known) {
        if (size > 0)
            text[0] = '\0';
        return text;
    }
    return FormatAddress(&ExchangeRecord.address, text, size);
}

// The exchange ends on the address it asked, which says nothing of the server's other addresses.
static void MarkFailedOnAddress(void)
{
    Kept.failedOnAddress = 1;
}

static void AppendAddressLine(void)
{
    char text[AddressTextSize];
    AppendTestLine("IPアドレス：%s", FormatAddress(&ExchangeRecord.address, text, sizeof text));
}

// A failure that ends the exchange before or instead of sending: message, flag, release.
static int EndWithError(const char *message)
{
    SetResultMessage(message);
    ExchangeRecord.ExchangeFailed = 1;
    CloseExchange();
    return -1;
}

static int IsFresh(const RecentServer *slot)
{
    return slot->address.ss_family != 0 && TickCounter - slot->sentAt < (uint32_t)OneMinuteTicks;
}

// Addresses are compared, not texts, so two spellings of one IPv6 address are one server.
static int RecentlyQueried(const struct sockaddr_storage *address)
{
    for (int i = 0; i < RecentServerSlots; i++) {
        if (SameAddress(&RecentServers[i].address, address))
            return IsFresh(&RecentServers[i]);
    }
    return 0;
}

static void RecordRecentServer(const struct sockaddr_storage *address)
{
    for (int i = 0; i < RecentServerSlots; i++) {
        if (!IsFresh(&RecentServers[i])) {
            RecentServers[i].address = *address;
            RecentServers[i].sentAt = TickCounter;
            return;
        }
    }
}

// A datagram socket of the server address's family, bound to any local address of it, and the
// thread that receives on it, running before the request goes out.
static int OpenSocket(void)
{
    const int family = ExchangeRecord.address.ss_family;
    SOCKET s = socket(family, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        MarkFailedOnAddress();
        SetResultMessage("エラー：ソケット作成失敗");
        ExchangeRecord.ExchangeFailed = 1;
        return -1;
    }
    ExchangeRecord.socket = s;
    struct sockaddr_storage local = {};
    local.ss_family = (ADDRESS_FAMILY)family;   // all zeros: any address, any port
    if (bind(s, (struct sockaddr *)&local, AddressLength(&local)) == SOCKET_ERROR &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        MarkFailedOnAddress();
        SetResultMessage("エラー：サーバへの接続失敗");
        ExchangeRecord.ExchangeFailed = 1;
        return -1;
    }
    // Its datagrams carry this exchange's serial: one for an earlier exchange is dropped.
    ExchangeRecord.receiver =
        StartReplyReceiver(s, ClockWindow, WM_REPLY_RECEIVED, (WPARAM)ExchangeRecord.serial);
    if (ExchangeRecord.receiver == NULL) {
        SetResultMessage("WSAAsyncSelect() ｴﾗｰ");
        ExchangeRecord.ExchangeFailed = 1;
        return -1;
    }
    return 0;
}

// t1 is kept in the exchange record at full precision; the server only has to echo the Transmit
// Timestamp. So its bits below about a millisecond are random: a forger who cannot see the
// request cannot guess the Originate Timestamp a true reply has to echo.
static uint32_t RandomBits(void)
{
    if (!SystemRandomLooked) {
        SystemRandomLooked = 1;
        HMODULE advapi = LoadLibraryA("advapi32.dll");
        if (advapi != NULL)
            SystemRandom = (RandomFunction)(void (*)(void))GetProcAddress(advapi, "SystemFunction036");
    }
    uint32_t bits = 0;
    if (SystemRandom != NULL && SystemRandom(&bits, sizeof bits))
        return bits;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    bits = (uint32_t)counter.QuadPart ^ (uint32_t)(counter.QuadPart >> 32) ^ GetTickCount() * 2654435761u;
    return bits ^ (GetCurrentProcessId() << 16);
}

static int SendRequest(void)
{
    ZeroMemory(ExchangeRecord.requestBuffer, sizeof ExchangeRecord.requestBuffer);
    ExchangeRecord.requestBuffer[0] = 0x23;
    uint32_t noise = RandomBits() & 0x3FFFFFu;
    const struct sockaddr_storage *server = &ExchangeRecord.address;
    ExchangeRecord.stampTime = ReadUtcNow();
    ExchangeRecord.sendStamp =
        (FileTimeToNtp(ExchangeRecord.stampTime) & ~(NtpTimestamp)0x3FFFFF) | noise;
    HostToNetworkTimestamp(ExchangeRecord.sendStamp,
                           ExchangeRecord.requestBuffer + offsetof(NtpPacket, transmitTimestamp));
    if (sendto(ExchangeRecord.socket, (const char *)ExchangeRecord.requestBuffer,
               RequestBytesSent, 0, (const struct sockaddr *)server, AddressLength(server)) ==
        SOCKET_ERROR) {
        MarkFailedOnAddress();
        SetResultMessage("エラー: 送信失敗");
        ExchangeRecord.ExchangeFailed = 1;
        return -1;
    }
    // t1 is the middle of the send. The datagram leaves somewhere within it; either end would put
    // all of the send's own time, or none of it, on the outward leg, while the way back holds
    // only the receiving thread's wake-up. Half of what the legs hold differently enters the
    // offset.
    uint64_t returned = ReadUtcNow();
    ExchangeRecord.sendTime = ExchangeRecord.stampTime + (returned - ExchangeRecord.stampTime) / 2;
    RecordRecentServer(&ExchangeRecord.address);
    ExchangeRecord.phase = ExchangeAwaitingReply;
    ExchangeRecord.phaseTicks = 0;
    if (RequestSent != NULL)
        RequestSent();
    return 0;
}

// The one-minute rule, then the socket. A request waiting for its address goes out at once; one
// for an address given directly waits for SendPreparedRequest (phase ExchangeReady).
static int ContinueWithAddress(int sendNow)
{
    SetAddressPort(&ExchangeRecord.address, ServerPort);
    if (ExchangeRecord.applyRetryRule && RecentlyQueried(&ExchangeRecord.address))
        return EndWithError("エラー：１分以内のリトライ不可");
    // An address that sent a kiss in this start gets no further request.
    if (const char *kiss = AddressRefused(&ExchangeRecord.address)) {
        char message[KissMessageSize];
        KissRefusalText(kiss, message, sizeof message);
        return EndWithError(message);
    }
    if (OpenSocket() != 0) {
        CloseExchange();
        return -1;
    }
    ExchangeRecord.phase = ExchangeReady;
    if (!sendNow)
        return 0;
    if (AnnounceLookedUpAddress != NULL)
        AnnounceLookedUpAddress();
    if (SendRequest() != 0) {
        CloseExchange();
        return -1;
    }
    return 0;
}

int SendPreparedRequest(void)
{
    if (ExchangeRecord.phase != ExchangeReady)
        return 0;
    if (SendRequest() != 0) {
        CloseExchange();
        return -1;
    }
    return 0;
}

int StartExchange(const char *serverName, int applyRetryRule)
{
    // A lookup or socket still held is released, never overwritten in its slot.
    CloseExchange();
    ExchangeRecord.serial += 1;
    ExchangeRecord.applyRetryRule = applyRetryRule;
    ExchangeRecord.phase = ExchangeIdle;
    ExchangeRecord.phaseTicks = 0;
    ExchangeRecord.ExchangeFailed = 0;
    SetResultMessage("");
    ClearTestOutput();
    LeapNoticeSeconds = 0;
    LeapAnnounced = 0;
    CorrectionFailed = 0;
    ClockOffset = 0;
    ExchangeRecord.serverName = serverName;

    const char *failure = NULL;
    if (StartupResult != 0)
        failure = "エラー: Winsock スタートアップエラー。";
    else if (StartupData.wVersion != NetworkVersion)
        failure = "エラー: Winsock のバージョンが違います。";
    else if (serverName == NULL || serverName[0] == '\0')
        failure = "エラー:サーバーを設定してください。";
    if (failure != NULL) {
        SetResultMessage(failure);
        ExchangeRecord.ExchangeFailed = 1;
        return -1;
    }
    AppendTestLine("サーバー：%s", serverName);

    // A server asked for a second opinion walks its addresses in a manual run too: the run is
    // the step check, not a fresh start.
    int reuse = (applyRetryRule || StepCheckPending()) && NameHasAddressesLeft(serverName);
    Kept.failedOnAddress = 0;
    int literal = ParseAddressLiteral(serverName, &ExchangeRecord.address);
    if (literal == 0) {
        Kept.count = 0;
        return ContinueWithAddress(0);
    }
    if (literal == FormNotAccepted) {
        Kept.count = 0;
        return EndWithError("ｴﾗｰ:ｻｰﾊﾞｰ名の形式が正しくありません。");
    }
    if (reuse) {
        Kept.asked = KeptAddressNotRefused(Kept.asked + 1);
        ExchangeRecord.address = Kept.addresses[Kept.asked];
        AppendAddressLine();
        return ContinueWithAddress(0);
    }
    Kept.count = 0;

    // The lookup's message carries this exchange's serial: one for an earlier exchange is ignored.
    HostLookup *lookup = StartHostLookup(ClockWindow, WM_HOST_RESOLVED,
                                         (WPARAM)ExchangeRecord.serial, serverName);
    if (lookup == NULL)
        return EndWithError("エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽの取得失敗");
    ExchangeRecord.lookup = lookup;
    ExchangeRecord.phase = ExchangeResolving;
    ExchangeRecord.phaseTicks = 0;
    return 0;
}

int OnHostResolved(WPARAM wParam, LPARAM lParam)
{
    if (ExchangeRecord.phase != ExchangeResolving || wParam != (WPARAM)ExchangeRecord.serial)
        return -1;
    HostLookup *lookup = ExchangeRecord.lookup;
    ExchangeRecord.lookup = NULL;
    Kept.count = lParam == 0 ? LookupResult(lookup, Kept.addresses, LookupAddressMax) : 0;
    AbandonLookup(lookup);
    if (Kept.count == 0) {
        EndWithError("エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽ取得失敗");
        return 1;
    }
    snprintf(Kept.name, sizeof Kept.name, "%s", ExchangeRecord.serverName);
    int first = KeptAddressNotRefused(0);
    Kept.asked = first;
    Kept.lookedUpAt = TickCounter;
    ExchangeRecord.address = Kept.addresses[first];
    AppendAddressLine();
    return ContinueWithAddress(1) == 0 ? 0 : 1;
}

// A hand-over is evaluated only for the exchange awaiting its reply: a late one of an exchange
// that ended or was replaced is dropped by its serial, and while a reply is being evaluated (a
// log error box may be pumping messages) a further datagram must not start a second evaluation.
static int HandleReceived(WPARAM serial, const ReceivedDatagram *datagram)
{
    int phase = ExchangeRecord.phase;
    int current = phase == ExchangeAwaitingReply || phase == ExchangeReady ||
                  phase == ExchangeProcessing;
    if (datagram == NULL || !current || serial != (WPARAM)ExchangeRecord.serial)
        return -1;
    if (phase == ExchangeProcessing)
        return 0;
    // A datagram from anyone but the server is dropped and the exchange keeps waiting; a reply
    // whose exchange was stopped while a log box was open ends nothing.
    int processed = ProcessReply(datagram);
    if (processed == -2)
        return -1;
    return processed < 0 ? 0 : 1;
}

int OnReplyReceived(WPARAM wParam, LPARAM lParam)
{
    ReceivedDatagram *datagram = (ReceivedDatagram *)lParam;
    int result = HandleReceived(wParam, datagram);
    FreeReceivedDatagram(datagram);
    return result;
}

int ExchangeTick(void)
{
    if (ExchangeRecord.phase == ExchangeResolving) {
        if (++ExchangeRecord.phaseTicks > LookupTimeoutTicks) {
            CloseExchange();
            SetResultMessage("エラー：IPアドレス取得タイムアウト発生");
            ExchangeRecord.ExchangeFailed = 1;
            return 1;
        }
    } else if (ExchangeRecord.phase == ExchangeAwaitingReply) {
        if (++ExchangeRecord.phaseTicks > ReplyTimeoutTicks) {
            MarkFailedOnAddress();
            SetResultMessage("エラー：受信タイムアウト発生");
            return FailExchange();
        }
    }
    return 0;
}
