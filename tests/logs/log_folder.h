// A temporary log folder for the log tests, a fixed local time and a recording failure box.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>

struct RecordedBox {
    HWND owner;
    std::string text, caption;
    UINT style;
};

extern SYSTEMTIME FakeLocalTime;
extern std::vector<RecordedBox> RecordedBoxes;

class LogFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void SetLocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
    std::string PathOf(const char *name) const;
    std::string ReadAll(const char *name) const;
    void WriteAll(const char *name, const std::string &bytes) const;

    std::string folder;  // ends in a backslash
};

// "\n" of an expected text as the text-mode stream writes it.
std::string WithCrLf(const std::string &text);
