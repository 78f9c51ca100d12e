// A temporary log folder for the log tests, a fixed local time and a recording failure box.
#include "base/wide_text.h"
#include "log_folder.h"

#include <stdio.h>
#include <string.h>

#include "ntp/ntp_time.h"
#include "logs/correction_log.h"
#include "base/settings.h"

SYSTEMTIME FakeLocalTime;
std::vector<RecordedBox> RecordedBoxes;

static void WINAPI ReadFakeLocalTime(LPSYSTEMTIME time)
{
    *time = FakeLocalTime;
}

static int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    RecordedBoxes.push_back({owner, text, caption, style});
    return IDOK;
}

void LogFolder::SetUp()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    folder = std::string(temp) + "vm-logs-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), NULL);
    TextToWide(folder.c_str(), ProgramDirectory, MAX_PATH);
    LogLocalTimeSource = ReadFakeLocalTime;
    LogErrorBox = RecordBox;
    RecordedBoxes.clear();
    SetLocalTime(2026, 12, 6, 17, 13, 47);
}

void LogFolder::TearDown()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA((folder + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

void LogFolder::SetLocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    FakeLocalTime = CalendarTime(year, month, day, hour, minute, second, 0);
}

std::string LogFolder::PathOf(const char *name) const
{
    return folder + name;
}

std::string LogFolder::ReadAll(const char *name) const
{
    std::string bytes;
    FILE *file = fopen(PathOf(name).c_str(), "rb");
    if (file == NULL)
        return "<missing>";
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    fclose(file);
    return bytes;
}

void LogFolder::WriteAll(const char *name, const std::string &bytes) const
{
    FILE *file = fopen(PathOf(name).c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string WithCrLf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}
