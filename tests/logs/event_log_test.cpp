// Tests of the event log: the complete example report byte for byte, the dump of a short last
// row, the conditional lines, the zone name and the failure box.
#include <string.h>

#include "base/wide_text.h"
#include "log_folder.h"
#include "logs/event_log.h"
#include "base/settings.h"

static const uint8_t ExampleReply[48] = {
    0x64, 0x01, 0x06, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x47, 0x50, 0x53, 0x00,
    0xEE, 0xBF, 0x97, 0xAC, 0x00, 0x00, 0x00, 0x00, 0xEE, 0xBF, 0x97, 0xBB, 0x80, 0x00, 0x00, 0x00,
    0xEE, 0xBF, 0x97, 0xBB, 0xC0, 0x00, 0x00, 0x00, 0xEE, 0xBF, 0x97, 0xBB, 0xC0, 0x00, 0x00, 0x00,
};

static const char ExampleReport[] = R"(========================================

記録日時:

2026/12/06 17:13:47 (JST)

サーバー情報:

Server Name : 192.0.2.10
IP address  : 192.0.2.10

受信データのダンプリスト:

   0  1  2  3  4  5  6  7    8  9  A  B  C  D  E  F   01234567 89ABCDEF
00 64 01 06 EC 00 00 00 00 - 00 00 00 0A 47 50 53 00  d....... ....GPS.
10 EE BF 97 AC 00 00 00 00 - EE BF 97 BB 80 00 00 00  ........ ........
20 EE BF 97 BB C0 00 00 00 - EE BF 97 BB C0 00 00 00  ........ ........

受信内容:

Leap Indicator        : 1 (UTCの最後の分は61秒(うるう秒挿入))
Version Number        : 4
Mode                  : 4 (server)
Stratum               : 1
Poll Interval         : 64.00sec
Precision             : 953.67nsec
Root Delay            : 0.00sec
Root Dispersion       : 152.59μsec
Reference Identifier  : GPS
Reference Timestamp   : 2026/12/06 08:13:32.000(UTC)
Originate Timestamp   : 2026/12/06 08:13:47.500(UTC)
Receive Timestamp     : 2026/12/06 08:13:47.750(UTC)
Transmit Timestamp    : 2026/12/06 08:13:47.750(UTC)
Destination Timestamp : 2026/12/06 08:13:47.750(UTC)
Time Difference       : -0.125sec

)";

static const char *ZoneName = "東京 (標準時)";
static const char *FixedZoneName(void) { return ZoneName; }

class EventLog : public LogFolder {
protected:
    void SetUp() override
    {
        LogFolder::SetUp();
        savedZone = TimeZoneNameSource;
        TimeZoneNameSource = FixedZoneName;
        ZoneName = "東京 (標準時)";
        memcpy(reply, ExampleReply, sizeof ExampleReply);
        memset(&destination, 0, sizeof destination);
        destination.wYear = 2026;
        destination.wMonth = 12;
        destination.wDay = 6;
        destination.wHour = 8;
        destination.wMinute = 13;
        destination.wSecond = 47;
        destination.wMilliseconds = 750;
    }
    void TearDown() override
    {
        TimeZoneNameSource = savedZone;
        LogFolder::TearDown();
    }
    // Writes one report of the current reply and returns the lines it added to the file.
    std::string Report(int count = 48, const char *errorText = "-0.125")
    {
        std::string before = ReadAll("vellmarin-eventlog-2026.txt");
        if (before == "<missing>")
            before.clear();
        NtpFields fields;
        DecodeNtpPacket(reply, count, &fields);
        AppendEventLog("192.0.2.10", "192.0.2.10", reply, count, &fields, &destination, errorText);
        return ReadAll("vellmarin-eventlog-2026.txt").substr(before.size());
    }
    static std::vector<std::string> Lines(const std::string &text)
    {
        std::vector<std::string> lines;
        size_t start = 0, end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
    static bool HasLineStarting(const std::string &text, const std::string &prefix)
    {
        for (const std::string &line : Lines(text))
            if (line.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }

    uint8_t reply[50];
    SYSTEMTIME destination;
    const char *(*savedZone)(void);
};

TEST_F(EventLog, CompleteReportByteForByte)
{
    EXPECT_EQ(WithCrLf(ExampleReport), Report());
    EXPECT_TRUE(RecordedBoxes.empty());
}

TEST_F(EventLog, TwoReportsFollowEachOther)
{
    Report();
    Report();
    EXPECT_EQ(WithCrLf(ExampleReport) + WithCrLf(ExampleReport),
              ReadAll("vellmarin-eventlog-2026.txt"));
}

TEST_F(EventLog, DumpOfA50ByteDatagramAndItsCharacterColumn)
{
    const uint8_t tail[18] = {0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x0A, 0x0D, 0x1A,
                              0x00, 0x41, 0x5C, 0x82, 0xA0, 0x09, 0x7B, 0x2E, 0x31, 0x32};
    memcpy(reply + 32, tail, sizeof tail);
    std::vector<std::string> lines = Lines(Report(50));
    std::vector<std::string> dump(lines.begin() + 13, lines.begin() + 19);
    EXPECT_EQ("20 20 7E 7F 80 FF 0A 0D 1A - 00 41 5C 82 A0 09 7B 2E   ~...... .A\\...{.", dump[3]);
    EXPECT_EQ("30 31 32                   -                          12               ", dump[4]);
    EXPECT_EQ("", dump[5]);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(71u, dump[i].size()) << dump[i];
}

TEST_F(EventLog, ConditionalLines)
{
    struct Row {
        uint8_t first, stratum;
        bool referenceLine, differenceLine;
        const char *leapLine;
    } rows[] = {
        {0x64, 1, true, true, "Leap Indicator        : 1 (UTCの最後の分は61秒(うるう秒挿入))"},
        {0x64, 2, false, true, "Leap Indicator        : 1 (UTCの最後の分は61秒(うるう秒挿入))"},
        {0xA4, 16, false, true, "Leap Indicator        : 2 (UTCの最後の分は59秒(うるう秒削除))"},
        {0xE4, 1, true, false, "Leap Indicator        : 3 (サーバーの時計が同期していません)"},
        {0xE4, 0, false, false, "Leap Indicator        : 3 (サーバーの時計が同期していません)"},
        // Refused as too imprecise: no offset was taken.
        {0x24, 2, false, false, "Leap Indicator        : 0 (うるう秒警告なし)"},
    };
    for (const Row &row : rows) {
        reply[0] = row.first;
        reply[1] = row.stratum;
        std::string report = Report(48, row.differenceLine ? "0.000" : row.first == 0x24 ? "" : NULL);
        EXPECT_TRUE(HasLineStarting(report, row.leapLine)) << row.leapLine;
        EXPECT_EQ(row.referenceLine, HasLineStarting(report, "Reference Identifier")) << (int)row.stratum;
        EXPECT_EQ(row.differenceLine, HasLineStarting(report, "Time Difference")) << (int)row.first;
        std::vector<std::string> lines = Lines(report);
        EXPECT_EQ("Destination Timestamp : 2026/12/06 08:13:47.750(UTC)",
                  lines[lines.size() - (row.differenceLine ? 3 : 2)]);
        EXPECT_EQ("", lines.back());
    }
}

TEST_F(EventLog, DecodedValuesAndHostileIdentifier)
{
    struct Row {
        uint8_t mode, poll, precision;
        uint8_t rootDelay[4];
        uint8_t referenceId[4];
        const char *modeLine, *pollLine, *precisionLine, *delayLine, *idLine;
    } rows[] = {
        {0x25, 0x00, 0xE9, {0x00, 0x00, 0x01, 0x23}, {'P', 'P', 'S', 0},
         "Mode                  : 5 (broadcast)", "Poll Interval         : 1.00sec",
         "Precision             : 119.21nsec", "Root Delay            : 4.44msec",
         "Reference Identifier  : PPS"},
        {0x26, 0x11, 0x00, {0x80, 0x00, 0x00, 0x00}, {'\n', '\r', 'X', 'Y'},
         "Mode                  : 6 (reserved for NTP control message)",
         "Poll Interval         : 131072.00sec", "Precision             : 1.00sec",
         "Root Delay            : 32768.00sec", "Reference Identifier  : ..XY"},
        {0x27, 0xFA, 0x7F, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 'A', 'B', 'C'},
         "Mode                  : 7 (reserved for private use)",
         "Poll Interval         : 15.62msec",
         "Precision             : 170141183460469231731687303715884105728.00sec",
         "Root Delay            : 65536.00sec", "Reference Identifier  : "},
    };
    for (const Row &row : rows) {
        reply[0] = row.mode;
        reply[1] = 1;
        reply[2] = row.poll;
        reply[3] = row.precision;
        memcpy(reply + 4, row.rootDelay, 4);
        memcpy(reply + 12, row.referenceId, 4);
        std::vector<std::string> lines = Lines(Report());
        std::vector<std::string> decoded(lines.begin() + 20, lines.begin() + 29);
        EXPECT_EQ(row.modeLine, decoded[2]);
        EXPECT_EQ(row.pollLine, decoded[4]);
        EXPECT_EQ(row.precisionLine, decoded[5]);
        EXPECT_EQ(row.delayLine, decoded[6]);
        EXPECT_EQ(row.idLine, decoded[8]);
    }
}

TEST_F(EventLog, ZoneNameAndZeroReferenceTimestamp)
{
    memset(reply + 16, 0, 8);
    struct Row {
        const char *zone, *line;
    } rows[] = {
        {"東京 (標準時)", "2026/12/06 17:13:47 (JST)"},
        {"東京 (夏時間)", "2026/12/06 17:13:47 (東京 (夏時間))"},
        {"JS", "2026/12/06 17:13:47 (JS)"},
        {"", "2026/12/06 17:13:47 ()"},
    };
    for (const Row &row : rows) {
        ZoneName = row.zone;
        std::vector<std::string> lines = Lines(Report());
        EXPECT_EQ(row.line, lines[4]);
        EXPECT_EQ("Reference Timestamp   : 2036/02/07 06:28:16.000(UTC)", lines[29]);
    }
}

TEST_F(EventLog, UnwritableFolderShowsTheBoxAndWritesNothing)
{
    std::string missing = folder + "gone\\";
    TextToWide(missing.c_str(), ProgramDirectory, MAX_PATH);
    Report();
    Report();
    ASSERT_EQ(2u, RecordedBoxes.size());
    EXPECT_EQ(0u, RecordedBoxes[0].text.find("ログファイルへの書き込み失敗\n\n"));
    EXPECT_GT(RecordedBoxes[0].text.size(), strlen("ログファイルへの書き込み失敗\n\n"));
    EXPECT_EQ("vellmarin エラー", RecordedBoxes[1].caption);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(missing.c_str()));
}

TEST_F(EventLog, WriteThatFailsOnlyAtCloseIsReported)
{
    std::string full = "Z:" VM_FULL_DISK_DIR "/";
    for (char &c : full)
        if (c == '/')
            c = '\\';
    FILE *probe = fopen((full + "vellmarin-eventlog-2026.txt").c_str(), "rb");
    if (probe == NULL)
        GTEST_SKIP() << "no /dev/full link";
    fclose(probe);
    TextToWide(full.c_str(), ProgramDirectory, MAX_PATH);
    NtpFields fields;
    DecodeNtpPacket(reply, 48, &fields);
    AppendEventLog("192.0.2.10", "0.0.0.0", reply, 48, &fields, &destination, "-0.125");
    ASSERT_EQ(1u, RecordedBoxes.size());
    EXPECT_EQ(0u, RecordedBoxes[0].text.find("ログファイルへの書き込み失敗\n\n"));
    EXPECT_GT(RecordedBoxes[0].text.size(), strlen("ログファイルへの書き込み失敗\n\n"));
}
