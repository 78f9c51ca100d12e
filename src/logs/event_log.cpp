// The yearly event log: a full report with a byte dump and a decoded listing of every reply that
// announces a leap second or declares its server unsynchronised.
#include "logs/event_log.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "logs/correction_log.h"
#include "base/settings.h"
#include "ntp/leap_notice.h"

// The runtime re-reads the zone on _tzset, so a zone changed since start-up is honoured.
static const char *RuntimeTimeZoneName(void)
{
    _tzset();
    return _tzname[_daylight ? 1 : 0];
}

const char *(*TimeZoneNameSource)(void) = RuntimeTimeZoneName;

static const char *const LeapTexts[4] = {
    "うるう秒警告なし",
    "UTCの最後の分は61秒(うるう秒挿入)",
    "UTCの最後の分は59秒(うるう秒削除)",
    "サーバーの時計が同期していません",
};

static const char *const ModeTexts[8] = {
    "reserved", "symmetric active", "symmetric passive", "client", "server", "broadcast",
    "reserved for NTP control message", "reserved for private use",
};

static int IsPrintable(uint8_t byte)
{
    return byte >= 0x20 && byte <= 0x7E;
}

static void WriteDump(FILE *file, const uint8_t *received, int count)
{
    char line[128];
    size_t used = snprintf(line, sizeof line, "  ");
    for (int i = 0; i < 16; ++i)
        used += snprintf(line + used, sizeof line - used, "%s %X ", i == 8 ? "  " : "", i);
    used += snprintf(line + used, sizeof line - used, "  ");
    for (int i = 0; i < 16; ++i)
        used += snprintf(line + used, sizeof line - used, "%s%X", i == 8 ? " " : "", i);
    fprintf(file, "%s\n", line);

    for (int start = 0; start < count; start += 16) {
        used = snprintf(line, sizeof line, "%X0", (unsigned)(start / 16));
        for (int j = 0; j < 16; ++j) {
            if (j == 8)
                used += snprintf(line + used, sizeof line - used, " -");
            if (start + j < count)
                used += snprintf(line + used, sizeof line - used, " %02X", received[start + j]);
            else
                used += snprintf(line + used, sizeof line - used, "   ");
        }
        used += snprintf(line + used, sizeof line - used, "  ");
        for (int j = 0; j < 16 && used + 2 < sizeof line; ++j) {
            if (j == 8)
                line[used++] = ' ';
            char shown = ' ';
            if (start + j < count)
                shown = IsPrintable(received[start + j]) ? (char)received[start + j] : '.';
            line[used++] = shown;
        }
        line[used] = '\0';
        fprintf(file, "%s\n", line);
    }
}

static void WriteScaled(FILE *file, const char *label, double seconds)
{
    char value[100];
    fprintf(file, "%s: %ssec\n", label, FormatScaledValue(value, sizeof value, seconds));
}

static void WriteStamp(FILE *file, const char *label, NtpTimestamp stamp)
{
    char text[100];
    fprintf(file, "%s: %s\n", label, FormatNtpTimestamp(stamp, text, sizeof text));
}

// This year's file opened for appending, with a report's separator and time of recording
// written; null (the failure shown) when it cannot be opened.
static FILE *OpenReport(void)
{
    const char *zone = TimeZoneNameSource();
    if (zone == NULL)
        zone = "";

    SYSTEMTIME now;
    LogLocalTimeSource(&now);
    WCHAR path[MAX_PATH + 64];
    LogFilePath(path, MAX_PATH + 64, L"vellmarin-eventlog-%04d.txt", now.wYear);
    FILE *file = _wfopen(path, L"at");
    if (file == NULL) {
        ShowLogWriteError("ログファイルへの書き込み失敗");
        return NULL;
    }

    char stamp[100];
    fprintf(file, "========================================\n\n");
    fprintf(file, "記録日時:\n\n");
    fprintf(file, "%s ", FormatLocalDateTime(&now, stamp, sizeof stamp));
    if (strcmp(zone, "東京 (標準時)") == 0)
        fprintf(file, "(JST)\n\n");
    else
        fprintf(file, "(%s)\n\n", zone);
    return file;
}

void AppendEventNote(const char *title, const char *const *lines, int count)
{
    FILE *file = OpenReport();
    if (file == NULL)
        return;
    fprintf(file, "%s:\n\n", title);
    for (int i = 0; i < count; ++i)
        fprintf(file, "%s\n", lines[i]);
    fprintf(file, "\n");
    if (fclose(file) != 0)
        ShowLogWriteError("ログファイルへの書き込み失敗");
}

void AppendEventLog(const char *serverName, const char *serverAddress, const uint8_t *received,
                    int receivedCount, const NtpFields *fields, const SYSTEMTIME *destinationTime,
                    const char *errorText)
{
    FILE *file = OpenReport();
    if (file == NULL)
        return;
    char stamp[100];

    fprintf(file, "サーバー情報:\n\n");
    fprintf(file, "Server Name : %s\n", serverName != NULL ? serverName : "");
    fprintf(file, "IP address  : %s\n\n", serverAddress != NULL ? serverAddress : "");

    fprintf(file, "受信データのダンプリスト:\n\n");
    WriteDump(file, received, receivedCount);
    fprintf(file, "\n");

    fprintf(file, "受信内容:\n\n");
    fprintf(file, "Leap Indicator        : %u (%s)\n", (unsigned)fields->leap,
            LeapTexts[fields->leap & 3]);
    fprintf(file, "Version Number        : %u\n", (unsigned)fields->version);
    fprintf(file, "Mode                  : %u (%s)\n", (unsigned)fields->mode,
            ModeTexts[fields->mode & 7]);
    fprintf(file, "Stratum               : %u\n", (unsigned)fields->stratum);
    WriteScaled(file, "Poll Interval         ", ldexp(1.0, fields->poll));
    WriteScaled(file, "Precision             ", ldexp(1.0, fields->precision));
    WriteScaled(file, "Root Delay            ", fields->rootDelay / 65536.0);
    WriteScaled(file, "Root Dispersion       ", fields->rootDispersion / 65536.0);
    if (fields->stratum == 1) {
        // The identifier comes from the network: a line end or control byte in it must not
        // break the report's lines, so those show as "." just as in the dump.
        char id[5];
        int n = 0;
        while (n < 4 && fields->referenceId[n] != 0) {
            id[n] = IsPrintable(fields->referenceId[n]) ? (char)fields->referenceId[n] : '.';
            ++n;
        }
        id[n] = '\0';
        fprintf(file, "Reference Identifier  : %s\n", id);
    }
    WriteStamp(file, "Reference Timestamp   ", fields->referenceTimestamp);
    WriteStamp(file, "Originate Timestamp   ", fields->originateTimestamp);
    WriteStamp(file, "Receive Timestamp     ", fields->receiveTimestamp);
    WriteStamp(file, "Transmit Timestamp    ", fields->transmitTimestamp);
    fprintf(file, "Destination Timestamp : %s\n",
            FormatUtcTimestamp(destinationTime, stamp, sizeof stamp));
    // A reply refused before its offset was taken (unsynchronised, too imprecise) has none.
    if (fields->leap != 3 && errorText != NULL && errorText[0] != '\0')
        fprintf(file, "Time Difference       : %ssec\n", errorText);
    fprintf(file, "\n");

    if (fclose(file) != 0)
        ShowLogWriteError("ログファイルへの書き込み失敗");
}
