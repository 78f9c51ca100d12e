// Evaluation of a received SNTP reply: validation, offset and delay, correction of the clock,
// the hand-off to the logs and the leap-second items read by the state machine and display.
#include "sntp/reply.h"
#include <math.h>
#include <stdio.h>
#include <string.h>
#include "logs/correction_log.h"
#include "logs/event_log.h"
#include "base/elevation.h"
#include "base/settings.h"
#include "sntp/exchange_record.h"
#include "sntp/server_address.h"
#include "ntp/leap_notice.h"
#include "sntp/clock_edge.h"
#include "sntp/kiss_memory.h"
#include "sntp/step_check.h"

int64_t ClockOffset;
int CorrectionFailed;
DWORD CorrectionError;
int (*HandOverFailedCorrection)(DWORD error);
char ClockErrorText[ClockErrorTextSize];
int LeapAnnounced;
SYSTEMTIME LeapDate;
int LeapAtMidnight;
int LeapNoticeSeconds;
int LeapRecheckTicks;

BOOL (WINAPI *SetSystemClock)(const SYSTEMTIME *utc) = SetSystemTime;

enum { MinimumReplySize = 48, MessageSize = 320, FieldTextSize = 100, ServerPort = 123 };
static const int64_t MaxRoundTrip = 20000000;      // 2 s in 100 ns units
// Root delay / 2 + root dispersion of 1.5 s, doubled, in the 16.16 format of the two fields.
static const uint64_t MaxRootDistanceTwice = 3 * 65536;

// What ValidateReply refused last, for the evaluation: a kiss (its code in LastKissCode) or a
// server whose time is too imprecise.
enum { RefusedOther = 0, RefusedKiss = 1, RefusedDistance = 2 };
static int LastRefusal;
static char LastKissCode[KissCodeSize];

int ValidateReply(const NtpFields *fields)
{
    const char *failure = NULL;
    char kissText[KissMessageSize];
    LastRefusal = RefusedOther;
    if (fields->version != 4)
        failure = "ｴﾗｰ:ｻｰﾊﾞｰのﾊﾞｰｼﾞｮﾝが違います。";
    else if (fields->mode != 4)
        failure = "ｴﾗｰ:ｻｰﾊﾞｰのﾓｰﾄﾞが違います。";
    else if (((fields->receiveTimestamp ^ fields->transmitTimestamp) >> 63) != 0)
        failure = "ｴﾗｰ:ﾀｲﾑｽﾀﾝﾌﾟｵｰﾊﾞｰﾌﾛｰ";
    else if (fields->stratum == 0 && fields->originateTimestamp == ExchangeRecord.sendStamp) {
        // A kiss is heeded only when it echoes our request: a forger must not silence a server.
        KissCodeText(fields->referenceId, LastKissCode);
        KissRefusalText(LastKissCode, kissText, sizeof kissText);
        failure = kissText;
        LastRefusal = RefusedKiss;
    } else if (fields->stratum < 1 || fields->stratum > 14)
        failure = "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。";
    else if (fields->transmitTimestamp == 0)
        failure = "ｴﾗｰ:送信ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。";
    else if (fields->originateTimestamp != ExchangeRecord.sendStamp)
        failure = "ｴﾗｰ:基点ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。";
    else if (fields->leap != 3 &&
             (uint64_t)fields->rootDelay + 2 * (uint64_t)fields->rootDispersion >= MaxRootDistanceTwice) {
        // An unsynchronised server (leap 3) is told as such, whatever its distance.
        failure = "ｴﾗｰ:ｻｰﾊﾞｰの時刻の精度が低すぎます。";
        LastRefusal = RefusedDistance;
    }
    if (failure == NULL)
        return 0;
    SetResultMessage(failure);
    return -1;
}

void DumpReplyFields(const NtpFields *fields)
{
    if (TestOutputBox == NULL)
        return;
    static const char *const leapTexts[4] = {
        "うるう秒警告なし", "UTCの最後の分は61秒(うるう秒挿入)",
        "UTCの最後の分は59秒(うるう秒削除)", "サーバーの時計が同期していません"};
    char text[FieldTextSize];
    AppendTestLine("LI=%u, VN=%u, Mode=%u, Stratum=%u", fields->leap, fields->version,
                   fields->mode, fields->stratum);
    if (fields->leap != 0)
        AppendTestLine("%s", leapTexts[fields->leap & 3]);
    AppendTestLine("Poll Interval=%ssec",
                   FormatScaledValue(text, sizeof text, ldexp(1.0, fields->poll)));
    AppendTestLine("Precision=%ssec",
                   FormatScaledValue(text, sizeof text, ldexp(1.0, fields->precision)));
    AppendTestLine("Root Delay=%ssec",
                   FormatScaledValue(text, sizeof text, fields->rootDelay / 65536.0));
    AppendTestLine("Root Dispersion=%ssec",
                   FormatScaledValue(text, sizeof text, fields->rootDispersion / 65536.0));
    if (fields->stratum == 1)
        AppendTestLine("Reference Identifier=%.4s", (const char *)fields->referenceId);
    AppendTestLine("Reference Timestamp=%s",
                   FormatNtpTimestamp(fields->referenceTimestamp, text, sizeof text));
    AppendTestLine("Originate Timestamp=%s",
                   FormatNtpTimestamp(fields->originateTimestamp, text, sizeof text));
    AppendTestLine("Receive Timestamp=%s",
                   FormatNtpTimestamp(fields->receiveTimestamp, text, sizeof text));
    AppendTestLine("Transmit Timestamp=%s",
                   FormatNtpTimestamp(fields->transmitTimestamp, text, sizeof text));
    SYSTEMTIME destination = FileTime64ToSystemTime(ExchangeRecord.receiveTime);
    AppendTestLine("Destination Timestamp=%s", FormatUtcTimestamp(&destination, text, sizeof text));
}

// The local clock's error in seconds (local minus server), three decimals truncated toward zero.
void BuildClockErrorText(int64_t offset)
{
    uint64_t a = offset < 0 ? (uint64_t)0 - (uint64_t)offset : (uint64_t)offset;
    const char *sign = offset > 0 ? "-" : "";
    unsigned long ms = (unsigned long)((a % 10000000) / 10000);
    uint64_t s = a / 10000000;
    unsigned long high = (unsigned long)(s / 1000000);
    unsigned long low = (unsigned long)(s % 1000000);
    if (high != 0)
        snprintf(ClockErrorText, sizeof ClockErrorText, "%s%lu%06lu.%03lu", sign, high, low, ms);
    else
        snprintf(ClockErrorText, sizeof ClockErrorText, "%s%lu.%03lu", sign, low, ms);
}

void AppendDelayLine(int64_t delay)
{
    if (delay < 0)
        AppendTestLine("往復の遅延時間=0sec");
    else
        AppendTestLine("往復の遅延時間=%.1lfmsec", delay / 10000.0 + 0.5);
}

// A log's warning box runs a message loop: meanwhile the user may stop this exchange and start
// another one. The reply must then leave the record, the output box and the socket to that one.
static int StillProcessing(uint32_t serial)
{
    return ExchangeRecord.phase == ExchangeProcessing && ExchangeRecord.serial == serial;
}

static const char *ServerAddressText(void)
{
    static char text[AddressTextSize];
    return FormatAddress(&ExchangeRecord.address, text, sizeof text);
}

static int FailReply(const char *message)
{
    SetResultMessage(message);
    return 1;
}

// The length of a received datagram of at most 50 bytes, -1 for a failed receive (a longer
// datagram included) and -2 when there is nothing from the server to evaluate: a datagram from
// elsewhere, or no datagram at all.
static int DatagramLength(const ReceivedDatagram *datagram)
{
    const struct sockaddr_storage *from = &datagram->from;
    int fromKnown = AddressLength(from) != 0 && datagram->fromLength >= AddressLength(from);
    int fromServer = fromKnown && SameAddress(from, &ExchangeRecord.address) &&
                     AddressPort(from) == ServerPort;
    if (datagram->length == SOCKET_ERROR) {
        // A truncated datagram is refused, but one that visibly came from elsewhere is
        // dropped like any other stranger's.
        int error = datagram->error;
        if (error == WSAEWOULDBLOCK || (error == WSAEMSGSIZE && fromKnown && !fromServer))
            return -2;
        return -1;
    }
    return fromServer ? datagram->length : -2;
}

// The event log's record of a large step: each server asked, its offset, and the verdict.
static void LogStepVerdict(const char *verdict)
{
    if (!Settings.SaveEventLog)
        return;
    enum { LineSize = StepNameSize + AddressTextSize + ClockErrorTextSize + 32 };
    char lines[StepServersMax + 1][LineSize];
    const char *pointers[StepServersMax + 1];
    const StepAnswer *answers = StepAnswers();
    int count = StepServersAsked();
    char kept[ClockErrorTextSize];
    memcpy(kept, ClockErrorText, sizeof kept);
    for (int i = 0; i < count; ++i) {
        char address[AddressTextSize];
        if (answers[i].address.ss_family == 0) {
            snprintf(lines[i], LineSize, "%s: 応答なし", answers[i].server);
        } else {
            BuildClockErrorText(answers[i].offset);
            snprintf(lines[i], LineSize, "%s (%s): 誤差 %s 秒%s", answers[i].server,
                     FormatAddress(&answers[i].address, address, sizeof address), ClockErrorText,
                     answers[i].answered ? "" : " (同じアドレス)");
        }
        pointers[i] = lines[i];
    }
    memcpy(ClockErrorText, kept, sizeof kept);
    snprintf(lines[count], LineSize, "%s", verdict);
    pointers[count] = lines[count];
    AppendEventNote("大きな誤差の確認", pointers, count + 1);
}

void RefuseLargeStep(void)
{
    BuildClockErrorText(StepAnswers()[0].offset);
    char message[MessageSize];
    snprintf(message, sizeof message, "誤差 %s 秒は大きすぎるため、時計を変更しませんでした。",
             ClockErrorText);
    SetResultMessage(message);
    if (Settings.SaveLog)
        AppendCorrectionLog(ClockErrorText);
    LogStepVerdict("一致するサーバーがないため、時計を変更しませんでした。");
}

int OffsetReachesMinAdjust(int64_t offset)
{
    uint64_t threshold = (uint64_t)(uint32_t)Settings.MinAdjust * 10000u;
    uint64_t magnitude = offset < 0 ? (uint64_t)0 - (uint64_t)offset : (uint64_t)offset;
    return magnitude >= threshold;
}

int EvaluateReply(const ReceivedDatagram *datagram)
{
    // t4 is the datagram's arrival, read by the thread that received it: however long this
    // thread took to get here does not enter the measured delay.
    ExchangeRecord.phase = ExchangeProcessing;
    ExchangeRecord.receiveTime = datagram->receivedAt;
    const uint32_t serial = ExchangeRecord.serial;

    const uint8_t *received = datagram->data;
    int length = DatagramLength(datagram);
    if (length == -2) {
        ExchangeRecord.phase = ExchangeAwaitingReply;
        return -1;
    }
    if (length < 0)
        return FailReply("エラー:データ受信失敗。");
    if (length < MinimumReplySize)
        return FailReply("エラー:受信データ長エラー");

    NtpFields fields;
    DecodeNtpPacket(received, length, &fields);
    // t4 as the event log prints it: whole milliseconds, truncated.
    SYSTEMTIME receivedAt = FileTime64ToSystemTime(ExchangeRecord.receiveTime);
    DumpReplyFields(&fields);
    if (ValidateReply(&fields) != 0) {
        // A kiss while a second opinion is asked moves nothing: the selected server stays.
        if (LastRefusal == RefusedKiss)
            RememberKiss(LastKissCode, ExchangeRecord.serverName, &ExchangeRecord.address,
                         !StepCheckPending());
        if (LastRefusal != RefusedDistance)
            return 1;
    }

    // An unsynchronised or too imprecise server: its reply goes to the event log, not further.
    if (fields.leap == 3 || LastRefusal == RefusedDistance) {
        if (fields.leap == 3)
            snprintf(ExchangeRecord.ResultMessage, sizeof ExchangeRecord.ResultMessage, "%s",
                     "ｴﾗｰ:ｻｰﾊﾞｰの時計が同期していません。");
        if (Settings.SaveEventLog) {
            ClockErrorText[0] = '\0';
            AppendEventLog(ExchangeRecord.serverName, ServerAddressText(), received, length,
                           &fields, &receivedAt, ClockErrorText);
            if (!StillProcessing(serial))
                return -2;
        }
        return 1;
    }

    int64_t t1 = (int64_t)ExchangeRecord.sendTime;
    int64_t t2 = (int64_t)NtpToFileTime(fields.receiveTimestamp);
    int64_t t3 = (int64_t)NtpToFileTime(fields.transmitTimestamp);
    int64_t t4 = (int64_t)ExchangeRecord.receiveTime;
    // The receiving thread may read its clock before this thread's reading after the send, when
    // this one was held up in the send: the reading before the send is then t1.
    if (t1 > t4)
        t1 = (int64_t)ExchangeRecord.stampTime;
    ClockOffset = ((t2 - t1) + (t3 - t4)) / 2;
    int64_t delay = (t4 - t1) - (t3 - t2);
    if (t1 > t4 || t2 > t3 || t4 - t1 > MaxRoundTrip)
        return FailReply("エラー：通信中の時刻修正を検出");

    AppendDelayLine(delay);
    BuildClockErrorText(ClockOffset);

    char message[MessageSize];
    int handedOver = 0;
    int reaches = OffsetReachesMinAdjust(ClockOffset);
    // A large step waits for a second opinion; while one is asked every answer counts.
    int step = StepSet;
    if (reaches || StepCheckPending())
        step = WeighStep(ClockOffset, &ExchangeRecord.address, ExchangeRecord.serverName);
    if (step == StepAskNext) {
        SetResultMessage("別のサーバーで確認中...");
        return 0;
    }
    if (step == StepRefuse) {
        RefuseLargeStep();
        return StillProcessing(serial) ? 1 : -2;
    }
    if (reaches) {
        // Fresh readings on the millisecond's edge: the time spent since t4 must not enter the
        // correction, and the clock takes whole milliseconds.
        if (SetClockOnEdge(ClockOffset, SetSystemClock)) {
            snprintf(message, sizeof message, "%s 秒の誤差を補正しました。", ClockErrorText);
        } else {
            CorrectionFailed = 1;
            CorrectionError = GetLastError();
            handedOver = HandOverFailedCorrection && HandOverFailedCorrection(CorrectionError);
            char reason[MessageSize] = "";
            if (!handedOver)
                WindowsErrorText(CorrectionError, reason, sizeof reason);
            snprintf(message, sizeof message, "時計を変更できませんでした。誤差は %s 秒です。%s%s",
                     ClockErrorText, reason[0] ? " " : "", reason);
        }
    } else {
        snprintf(message, sizeof message, "時計の誤差は %s 秒です。", ClockErrorText);
    }
    SetResultMessage(message);

    if (Settings.SaveLog && !handedOver) {
        AppendCorrectionLog(ClockErrorText);
        if (!StillProcessing(serial))
            return -2;
    }
    if (StepServersAsked() > 1) {
        LogStepVerdict("2台が一致したため、後のサーバーの値を使いました。");
        if (!StillProcessing(serial))
            return -2;
    }
    if (Settings.SaveEventLog && fields.leap != 0) {
        AppendEventLog(ExchangeRecord.serverName, ServerAddressText(), received, length,
                       &fields, &receivedAt, ClockErrorText);
        if (!StillProcessing(serial))
            return -2;
    }

    if (Settings.DispLeap && (fields.leap == 1 || fields.leap == 2)) {
        LeapAnnounced = 1;
        LeapDate = NtpToSystemTime(fields.transmitTimestamp);
        LeapAtMidnight = fields.leap == 1 && LeapDate.wHour == 0 && LeapDate.wMinute == 0 &&
                         LeapDate.wSecond == 0;
        BuildLeapNotice(&fields);
        LeapNoticeSeconds = 30;
        LeapRecheckTicks = 240;
    } else {
        LeapAtMidnight = 0;
        LeapRecheckTicks = 0;
        LeapNoticeSeconds = 0;
        LeapAnnounced = 0;
    }

    return 0;
}
