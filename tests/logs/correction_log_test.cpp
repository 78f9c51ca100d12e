// Tests of the correction log: header bytes, CR LF line ends, the header only for a new file,
// the yearly file name, and the failure box for a folder that cannot be written.
#include <string.h>

#include "base/wide_text.h"
#include "base/program.h"
#include "log_folder.h"
#include "logs/correction_log.h"
#include "base/settings.h"

static const char Header[] = "\x22\x8E\x9E\x8D\x8F\x22\x2C\x22\x8C\xEB\x8D\xB7\x28\x95\x62\x29\x22\x0D\x0A";

TEST_F(LogFolder, HeaderIsExactlyNineteenBytes)
{
    EXPECT_EQ(19u, strlen(Header));
    AppendCorrectionLog("-0.123");
    EXPECT_EQ(std::string(Header) + "2026/12/06 17:13:47,-0.123\r\n", ReadAll("vellmarin-log-2026.csv"));
    EXPECT_TRUE(RecordedBoxes.empty());
}

// Each row: what the file held before (or that it was missing), and what it holds afterwards.
TEST_F(LogFolder, HeaderOnlyForAFileThatDidNotExist)
{
    struct Row {
        bool existed;
        std::string before, after;
    } rows[] = {
        {false, "", std::string(Header) + "2026/12/06 17:13:47,0.000\r\n"},
        {true, "", "2026/12/06 17:13:47,0.000\r\n"},
        {true, "2026/12/06 08:13:47,-0.123\r\n",
         "2026/12/06 08:13:47,-0.123\r\n2026/12/06 17:13:47,0.000\r\n"},
        // No line end at the old end: the entry still goes to the end, nothing is overwritten.
        {true, "partial", "partial2026/12/06 17:13:47,0.000\r\n"},
    };
    for (const Row &row : rows) {
        DeleteFileA(PathOf("vellmarin-log-2026.csv").c_str());
        if (row.existed)
            WriteAll("vellmarin-log-2026.csv", row.before);
        AppendCorrectionLog("0.000");
        EXPECT_EQ(row.after, ReadAll("vellmarin-log-2026.csv")) << row.before;
    }
}

TEST_F(LogFolder, EntriesOfAYearShareOneFileAndANewYearStartsANewOne)
{
    AppendCorrectionLog("-0.123");
    SetLocalTime(2026, 12, 6, 18, 0, 5);
    AppendCorrectionLog("2.500");
    SetLocalTime(2027, 1, 1, 0, 0, 0);
    AppendCorrectionLog("1234567.890");
    EXPECT_EQ(std::string(Header) + "2026/12/06 17:13:47,-0.123\r\n2026/12/06 18:00:05,2.500\r\n",
              ReadAll("vellmarin-log-2026.csv"));
    EXPECT_EQ(std::string(Header) + "2027/01/01 00:00:00,1234567.890\r\n",
              ReadAll("vellmarin-log-2027.csv"));
    // The year in the name is four digits with leading zeros.
    SetLocalTime(999, 3, 4, 5, 6, 7);
    AppendCorrectionLog("0.042");
    std::string early = ReadAll("vellmarin-log-0999.csv");
    EXPECT_EQ(0u, early.find(Header)) << early;
    EXPECT_EQ(",0.042\r\n", early.substr(early.size() < 8 ? 0 : early.size() - 8)) << early;
    EXPECT_EQ("<missing>", ReadAll("vellmarin-log-999.csv"));
}

TEST_F(LogFolder, DateTimeTextIsFixedWidth)
{
    struct Row {
        WORD year, month, day, hour, minute, second;
        const char *text;
    } rows[] = {
        {2026, 12, 6, 8, 13, 47, "2026/12/06 08:13:47"},
        {2027, 1, 2, 0, 0, 0, "2027/01/02 00:00:00"},
        {2030, 10, 31, 23, 59, 59, "2030/10/31 23:59:59"},
    };
    for (const Row &row : rows) {
        SetLocalTime(row.year, row.month, row.day, row.hour, row.minute, row.second);
        char out[100];
        EXPECT_STREQ(row.text, FormatLocalDateTime(&FakeLocalTime, out, sizeof out));
    }
}

static std::string SystemText(DWORD code)
{
    char *text = NULL;
    FormatMessageA(0x1300, NULL, code, 0x400, (LPSTR)&text, 0, NULL);
    std::string copy = text != NULL ? text : "";
    LocalFree(text);
    return copy;
}

TEST_F(LogFolder, UnwritableFolderShowsTheSystemTextAndTheNextEntryTriesAgain)
{
    std::string missing = folder + "no-such-folder\\";
    TextToWide(missing.c_str(), ProgramDirectory, MAX_PATH);
    ClockWindow = (HWND)0x1234;
    AppendCorrectionLog("0.042");
    AppendCorrectionLog("0.043");
    ClockWindow = NULL;
    ASSERT_EQ(2u, RecordedBoxes.size());
    std::string expected = "ログファイルへの書き込み失敗\n\n" + SystemText(ERROR_PATH_NOT_FOUND);
    EXPECT_NE(SystemText(ERROR_PATH_NOT_FOUND), "");
    for (const RecordedBox &box : RecordedBoxes) {
        EXPECT_EQ(expected, box.text);
        EXPECT_EQ("vellmarin エラー", box.caption);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONWARNING), box.style);
        EXPECT_EQ((HWND)0x1234, box.owner);
    }
    // Once the folder exists the very next entry lands, with its header.
    CreateDirectoryA(missing.c_str(), NULL);
    AppendCorrectionLog("0.044");
    EXPECT_EQ(2u, RecordedBoxes.size());
    std::string path = missing + "vellmarin-log-2026.csv";
    FILE *file = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, file);
    char bytes[100] = "";
    size_t n = fread(bytes, 1, sizeof bytes - 1, file);
    fclose(file);
    EXPECT_EQ(std::string(Header) + "2026/12/06 17:13:47,0.044\r\n", std::string(bytes, n));
    DeleteFileA(path.c_str());
    RemoveDirectoryA(missing.c_str());
}

TEST_F(LogFolder, FailureTextWithoutSystemTextOrTooLongIsCutSafely)
{
    struct Row {
        DWORD code;
        std::string message, expected;
    } rows[] = {
        {0xE0FFFFFFu, "ログファイルへの書き込み失敗", "ログファイルへの書き込み失敗\n\n"},
        // 998 bytes of message leave room for the two line feeds' first only.
        {0xE0FFFFFFu, std::string(998, 'a'), std::string(998, 'a') + "\n"},
        // A double-byte character cut in half at the end is dropped whole.
        {0xE0FFFFFFu, std::string(996, 'a') + "\n\nあ", std::string(996, 'a') + "\n\n"},
    };
    for (const Row &row : rows) {
        RecordedBoxes.clear();
        SetLastError(row.code);
        ShowLogWriteError(row.message.c_str());
        ASSERT_EQ(1u, RecordedBoxes.size());
        EXPECT_EQ(row.expected, RecordedBoxes[0].text);
    }
}

// The Unix folder of links to /dev/full, seen through Wine's Z: drive.
static std::string FullDiskFolder()
{
    std::string folder = "Z:" VM_FULL_DISK_DIR "/";
    for (char &c : folder)
        if (c == '/')
            c = '\\';
    return folder;
}

TEST_F(LogFolder, WriteThatFailsOnlyAtCloseIsReported)
{
    std::string full = FullDiskFolder();
    FILE *probe = fopen((full + "vellmarin-log-2026.csv").c_str(), "rb");
    if (probe == NULL)
        GTEST_SKIP() << "no /dev/full link";
    fclose(probe);
    TextToWide(full.c_str(), ProgramDirectory, MAX_PATH);
    AppendCorrectionLog("0.001");
    ASSERT_EQ(1u, RecordedBoxes.size());
    EXPECT_EQ("ログファイルへの書き込み失敗\n\n" + SystemText(ERROR_DISK_FULL), RecordedBoxes[0].text);
}
