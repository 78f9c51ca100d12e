// Tests of the settings record against real INI files in a temporary folder: defaults, clamps,
// malformed numbers, the font name bound, the style bits, and the server list in a real combo box.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "base/ini_file.h"
#include "base/program.h"
#include "base/settings.h"
#include "base/wide_text.h"
#include "support/test_ini.h"

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        WCHAR folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        _snwprintf(IniPath, MAX_PATH + 16, L"%lsvm-settings-%lu.ini", folder, GetCurrentProcessId());
        DeleteFileW(IniPath);
        memset(&Settings, 0xA5, sizeof Settings);
    }
    void TearDown() override { DeleteFileW(IniPath); }
    static void WriteFile(const std::string &text)
    {
        FILE *file = _wfopen(IniPath, L"wb");
        ASSERT_NE(nullptr, file);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    }
    static std::string FileText()
    {
        IniText ini;
        LoadIniText(IniPath, &ini);
        std::string text(ini.bytes ? ini.bytes : "", ini.length);
        FreeIniText(&ini);
        return text;
    }
    // The section's key lines as "key=value|...", as the file holds them.
    static std::string Section(const char *name)
    {
        std::string text = FileText(), keys, heading = std::string("[") + name + "]";
        size_t at = text.find(heading);
        if (at == std::string::npos)
            return keys;
        for (at = text.find('\n', at); at != std::string::npos && at + 1 < text.size();) {
            size_t end = text.find('\n', at + 1);
            std::string line = text.substr(at + 1, end == std::string::npos ? end : end - at - 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty() && line[0] == '[')
                break;
            if (!line.empty())
                keys += line + "|";
            at = end;
        }
        return keys;
    }
    static std::string Value(const char *section, const char *key) { return IniFileValue(section, key); }
};

TEST_F(SettingsFile, MissingFileGivesTheDefaults)
{
    LoadSettings();
    const SettingsRecord &s = Settings;
    const int32_t numbers[] = {s.MinAdjust, s.AutoClose, s.ErrorClose, s.SaveLog, s.SaveEventLog,
                               s.DispLeap, s.FormStyle, s.StartupWait, s.RetryMax, s.RetryWait,
                               s.RotateServer, s.Hour24, s.Topmost, s.WaitLeap, s.Position,
                               s.Top, s.Left, s.Font.Size, s.Font.Bold, s.Elevate,
                               s.ConfirmStep};
    const int32_t expected[] = {100, 1, 0, 0, 0, 0, 0, 1, 10, 5, 1, 1, 0, 0, 0, 0, 0, 20, 0, 1,
                                1000};
    for (size_t i = 0; i < sizeof numbers / sizeof numbers[0]; ++i)
        EXPECT_EQ(expected[i], numbers[i]) << "field " << i;
    EXPECT_STREQ("ＭＳ Ｐゴシック", s.Font.Name);
    EXPECT_EQ(0, s.Font.Italic + s.Font.Underline + s.Font.StrikeOut + s.Font.Charset);
    EXPECT_EQ(0u, s.Font.Color);
    EXPECT_EQ(65280u, s.Font.BkColor);
    for (COLORREF c : s.CustomColors)
        EXPECT_EQ(0u, c);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(IniPath));  // loading writes nothing
}

// One key at a time: its text in the file and the value it loads as.
TEST_F(SettingsFile, NumbersAreClampedAndMalformedTextHasADefinedValue)
{
    struct Row {
        const char *section, *key, *text;
        int32_t SettingsRecord::*field;
        int32_t expected;
    } rows[] = {
        {"SETUP", "RetryWait", "0", &SettingsRecord::RetryWait, 5},
        {"SETUP", "RetryWait", "3", &SettingsRecord::RetryWait, 5},
        {"SETUP", "RetryWait", "150", &SettingsRecord::RetryWait, 99},
        {"SETUP", "StartupWait", "0", &SettingsRecord::StartupWait, 0},
        {"SETUP", "StartupWait", "-5", &SettingsRecord::StartupWait, 0},
        {"SETUP", "MinAdjust", "10000", &SettingsRecord::MinAdjust, 9999},
        {"SETUP", "MinAdjust", "-1", &SettingsRecord::MinAdjust, 0},
        {"SETUP", "RetryMax", "100", &SettingsRecord::RetryMax, 99},
        // 2^32 + 100 must not wrap round to 100.
        {"SETUP", "MinAdjust", "4294967396", &SettingsRecord::MinAdjust, 9999},
        {"SETUP", "RetryMax", "-4294967286", &SettingsRecord::RetryMax, 0},
        {"WINDOW", "Left", "99999999999999999999999", &SettingsRecord::Left, INT32_MAX},
        {"WINDOW", "Left", "-99999999999", &SettingsRecord::Left, INT32_MIN},
        {"WINDOW", "Left", "-2147483648", &SettingsRecord::Left, INT32_MIN},
        {"WINDOW", "Top", "2147483647", &SettingsRecord::Top, INT32_MAX},
        {"WINDOW", "Top", "+8", &SettingsRecord::Top, 8},
        {"WINDOW", "Top", "  42", &SettingsRecord::Top, 42},
        {"WINDOW", "Top", "12abc", &SettingsRecord::Top, 12},
        {"SETUP", "RetryMax", "abc", &SettingsRecord::RetryMax, 10},
        {"SETUP", "AutoClose", "", &SettingsRecord::AutoClose, 1},
        {"SETUP", "AutoClose", "-", &SettingsRecord::AutoClose, 1},
        {"SETUP", "Hour24", "x1", &SettingsRecord::Hour24, 1},
        {"WINDOW", "Position", "7", &SettingsRecord::Position, 7},
        {"SETUP", "Elevate", "0", &SettingsRecord::Elevate, 0},
        {"SETUP", "ConfirmStep", "0", &SettingsRecord::ConfirmStep, 0},
        {"SETUP", "ConfirmStep", "-3", &SettingsRecord::ConfirmStep, 0},
        {"SETUP", "ConfirmStep", "4294967296", &SettingsRecord::ConfirmStep, 99999999},
        {"SETUP", "ResyncMinutes", "1441", &SettingsRecord::ResyncMinutes, 1440},
    };
    for (const Row &row : rows) {
        WriteFile(std::string("[") + row.section + "]\r\n" + row.key + "=" + row.text + "\r\n");
        LoadSettings();
        EXPECT_EQ(row.expected, Settings.*row.field) << row.key << "=" << row.text;
    }
}

TEST_F(SettingsFile, StyleBitsAndCharset)
{
    struct Row {
        const char *style, *charset;
        int32_t bold;
        uint8_t italic, underline, strikeOut, charsetOut;
    } rows[] = {
        {"15", "128", 1, 1, 1, 1, 128},
        {"16", "0", 0, 0, 0, 0, 0},
        {"5", "1", 1, 0, 1, 0, 1},
        {"10", "300", 0, 1, 0, 1, 44},
        {"-1", "-1", 1, 1, 1, 1, 255},
    };
    for (const Row &row : rows) {
        WriteFile(std::string("[FONT]\r\nStyle=") + row.style + "\r\nCharset=" + row.charset +
                  "\r\n");
        LoadSettings();
        EXPECT_EQ(row.bold, Settings.Font.Bold) << row.style;
        EXPECT_EQ(row.italic, Settings.Font.Italic) << row.style;
        EXPECT_EQ(row.underline, Settings.Font.Underline) << row.style;
        EXPECT_EQ(row.strikeOut, Settings.Font.StrikeOut) << row.style;
        EXPECT_EQ(row.charsetOut, Settings.Font.Charset) << row.charset;
    }
}

TEST_F(SettingsFile, FontNameStaysInsideItsBuffer)
{
    struct Row {
        std::string stored, loaded;
    } rows[] = {
        {std::string(300, 'A'), std::string(63, 'A')},
        {std::string(63, 'B'), std::string(63, 'B')},
        // A two-byte character that would straddle the end is left out whole.
        {std::string(62, 'C') + "ゴシック", std::string(62, 'C')},
        {std::string(61, 'D') + "ゴシック", std::string(61, 'D') + "ゴ"},
        {"IPAGothic", "IPAGothic"},
    };
    for (const Row &row : rows) {
        WriteFile("[FONT]\r\nName=" + row.stored + "\r\n");
        memset(Settings.Font.Name, 'z', sizeof Settings.Font.Name);
        LoadSettings();
        EXPECT_NE(nullptr, memchr(Settings.Font.Name, '\0', sizeof Settings.Font.Name));
        EXPECT_EQ(row.loaded, Settings.Font.Name);
    }
}

TEST_F(SettingsFile, SavedRecordLoadsBackUnchanged)
{
    SettingsRecord saved;
    memset(&saved, 0, sizeof saved);
    int32_t SettingsRecord::*numbers[] = {
        &SettingsRecord::AutoClose, &SettingsRecord::ErrorClose, &SettingsRecord::SaveLog,
        &SettingsRecord::SaveEventLog, &SettingsRecord::DispLeap, &SettingsRecord::FormStyle,
        &SettingsRecord::RotateServer, &SettingsRecord::Hour24, &SettingsRecord::Topmost,
        &SettingsRecord::WaitLeap, &SettingsRecord::Position, &SettingsRecord::Left,
        &SettingsRecord::ResyncOnWake};
    int32_t value = 2;
    for (auto field : numbers)
        saved.*field = value++;
    saved.Top = -32000;
    saved.MinAdjust = 9999;
    saved.StartupWait = 0;
    saved.RetryMax = 99;
    saved.RetryWait = 5;
    saved.ResyncMinutes = 1440;
    strcpy(saved.Font.Name, "ＭＳ 明朝");
    saved.Font.Size = 36;
    saved.Font.Bold = 1;
    saved.Font.StrikeOut = 1;
    saved.Font.Charset = 128;
    saved.Font.Color = 0x00123456;
    saved.Font.BkColor = 0xFFFFFFFF;
    for (int i = 0; i < 16; ++i)
        saved.CustomColors[i] = 0x00010101u * (COLORREF)i;
    Settings = saved;
    SaveSettings();
    EXPECT_EQ("9", Value("FONT", "Style"));
    EXPECT_EQ("128", Value("FONT", "Charset"));
    EXPECT_EQ("-1", Value("FONT", "BkColor"));
    EXPECT_EQ("986895", Value("FONT", "CustomColor15"));
    // The face name's bytes are code page 932 whatever the system's code page is.
    EXPECT_EQ("ＭＳ 明朝", Value("FONT", "Name"));
    memset(&Settings, 0, sizeof Settings);
    LoadSettings();
    EXPECT_EQ(0, memcmp(&saved, &Settings, sizeof saved));
}

TEST_F(SettingsFile, UnterminatedFontNameIsSavedCut)
{
    LoadSettings();
    memset(Settings.Font.Name, 'N', sizeof Settings.Font.Name);
    SaveSettings();
    EXPECT_EQ(std::string(63, 'N'), Value("FONT", "Name"));
}

TEST_F(SettingsFile, WindowPositionIsWrittenOnlyWhenOnScreen)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 20, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, window);
    struct Row {
        int left, top;
        const char *storedLeft, *storedTop;
    } rows[] = {
        {10, 20, "10", "20"},
        {0, 0, "0", "0"},
        {-5, 30, "0", "0"},
        {40, -1, "0", "0"},
        {-32000, -32000, "0", "0"},
    };
    Settings.Left = 777;
    for (const Row &row : rows) {
        SetWindowPos(window, NULL, row.left, row.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER |
                     SWP_NOACTIVATE);
        SaveWindowPosition(window);
        EXPECT_EQ(row.storedLeft, Value("WINDOW", "Left")) << row.left << "," << row.top;
        EXPECT_EQ(row.storedTop, Value("WINDOW", "Top")) << row.left << "," << row.top;
    }
    EXPECT_EQ(777, Settings.Left);
    DestroyWindow(window);
}

class ServerList : public SettingsFile {
protected:
    void SetUp() override
    {
        SettingsFile::SetUp();
        combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWNLIST | WS_VSCROLL, 0,
                                0, 200, 200, NULL, NULL, NULL, NULL);
        ASSERT_NE(nullptr, combo);
    }
    void TearDown() override
    {
        DestroyWindow(combo);
        SettingsFile::TearDown();
    }
    std::string Entries()
    {
        std::string all;
        int count = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; ++i) {
            char *text = CopyComboEntry(combo, i);
            all += text ? text : "";
            all += "|";
            free(text);
        }
        return all;
    }
    void Fill(const std::vector<std::string> &names)
    {
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (const std::string &name : names)
            SendText932(combo, CB_ADDSTRING, 0, name.c_str());
    }
    HWND combo = NULL;
};

static std::string ServerKeys(int first, int last)
{
    std::string text = "[SERVER]\r\n";
    for (int i = first; i <= last; ++i)
        text += "Server" + std::to_string(i) + "=s" + std::to_string(i) + ".example\r\n";
    return text;
}

TEST_F(ServerList, LoadingStopsAtTheFirstGapAndAfter32)
{
    std::string all32;
    for (int i = 0; i < 32; ++i)
        all32 += "s" + std::to_string(i) + ".example|";
    struct Row {
        std::string file;
        int count;
        std::string entries;
    } rows[] = {
        {"", 0, ""},
        {"[SERVER]\r\nServer0=a\r\nServer1=b\r\nServer3=d\r\n", 2, "a|b|"},
        {"[SERVER]\r\nServer1=b\r\n", 0, ""},
        {"[SERVER]\r\nServer0=a\r\nServer1=\r\nServer2=c\r\n", 1, "a|"},
        {ServerKeys(0, 39), 32, all32},
        {"[SERVER]\r\nServer0=" + std::string(300, 'x') + "\r\n", 1, std::string(256, 'x') + "|"},
    };
    for (const Row &row : rows) {
        WriteFile(row.file);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        EXPECT_EQ(row.count, LoadServerList(combo)) << row.file;
        EXPECT_EQ(row.entries, Entries()) << row.file;
    }
}

TEST_F(ServerList, SavingLeavesNoStaleKey)
{
    WriteFile("[SETUP]\r\nMinAdjust=7\r\n" + ServerKeys(0, 4) + "[WINDOW]\r\nTop=3\r\n");
    Fill({"ntp.example", "192.0.2.1"});
    SaveServerList(combo);
    EXPECT_EQ("Server0=ntp.example|Server1=192.0.2.1|", Section("SERVER"));
    EXPECT_EQ("MinAdjust=7|", Section("SETUP"));
    EXPECT_EQ("Top=3|", Section("WINDOW"));

    Fill({});
    SaveServerList(combo);
    EXPECT_EQ("", Section("SERVER"));
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(0, LoadServerList(combo));
}

TEST_F(ServerList, SavedListLoadsBackWhole)
{
    std::string longName(300, 'L');
    Fill({"a.example", "", "b.example", longName});
    SaveServerList(combo);
    // The empty entry is not stored, so it cannot cut the list short on the next start.
    EXPECT_EQ("Server0=a.example|Server1=b.example|Server2=" + longName + "|", Section("SERVER"));
    Fill({});
    EXPECT_EQ(3, LoadServerList(combo));
    EXPECT_EQ("a.example|b.example|" + std::string(256, 'L') + "|", Entries());
}

TEST(ProgramPaths, IniFileLiesBesideTheExecutable)
{
    WCHAR module[MAX_PATH];
    GetModuleFileNameW(NULL, module, MAX_PATH);
    ComputeProgramPaths();
    std::wstring directory = ProgramDirectory;
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(L'\\', directory.back());
    EXPECT_EQ(0u, std::wstring(module).find(directory));
    EXPECT_EQ(std::wstring::npos, std::wstring(module).substr(directory.size()).find(L'\\'));
    EXPECT_EQ(directory + L"vellmarin.ini", IniPath);
}
