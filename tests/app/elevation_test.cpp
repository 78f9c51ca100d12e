// Elevation on demand: the decision and the command line as tables, then the real product
// started through "runas" for the correction this instance could not make, against a fake server.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "app/command_line.h"
#include "app/elevation_wait.h"
#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "base/command_result.h"
#include "base/elevation.h"
#include "base/settings.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "e2e/e2e_support.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"

static const int64_t Second = 10000000;

TEST(Elevation, AskedOnlyForTheMissingRightOncePerStart)
{
    struct Row { DWORD error; int elevated, setting, asked, ask; } rows[] = {
        {ERROR_PRIVILEGE_NOT_HELD, 0, 1, 0, 1},
        {ERROR_PRIVILEGE_NOT_HELD, 1, 1, 0, 0},
        {ERROR_PRIVILEGE_NOT_HELD, 0, 0, 0, 0},
        {ERROR_PRIVILEGE_NOT_HELD, 0, 1, 1, 0},
        {ERROR_ACCESS_DENIED, 0, 1, 0, 0},
    };
    for (const Row &r : rows)
        EXPECT_EQ(r.ask, ShouldAskElevation(r.error, r.elevated, r.setting, r.asked))
            << r.error << " " << r.elevated << r.setting << r.asked;
}

TEST(Elevation, CommandLineForms)
{
    const std::wstring longest(252, L'a');
    struct Row { std::wstring arguments; CommandKind kind; const char *server; } rows[] = {
        {L"", NormalStart, ""},
        {L"-min whatever", NormalStart, ""},
        {L"/registertask", NormalStart, ""},
        {L"/sync 127.0.0.1", SyncCommand, "127.0.0.1"},
        {L"/SYNC \"ntp.example.jp\"", SyncCommand, "ntp.example.jp"},
        {L"/sync ::1", SyncCommand, "::1"},
        {L"/sync [2001:db8::1]", SyncCommand, "[2001:db8::1]"},
        {L"/sync " + longest + L".com", SyncCommand, nullptr},
        {L"/register-task", RegisterTaskCommand, ""},
        {L"/Unregister-Task", UnregisterTaskCommand, ""},
        {L"/sync", BadCommand, ""},
        {L"/sync 127.0.0.1 ::1", BadCommand, ""},
        {L"/sync \"\"", BadCommand, ""},
        {L"/sync \" \"", BadCommand, ""},
        {L"/sync \"127.0.0.1 x\"", BadCommand, ""},
        {L"/syncnow 127.0.0.1", BadCommand, ""},
        {L"/sync C:\\evil.dll", BadCommand, ""},
        {L"/sync \x6642\x8A08.jp", BadCommand, ""},
        {L"/sync " + longest + L".comm", BadCommand, ""},
        {L"/register-task now", BadCommand, ""},
        {L"/unregister-task /sync ::1", BadCommand, ""},
    };
    for (const Row &row : rows) {
        std::wstring line = L"\"C:\\Program Files\\vellmarin\\vellmarin.exe\" " + row.arguments;
        ParsedCommand command;
        ParseCommandLine(line.c_str(), &command);
        std::string shown(row.arguments.begin(), row.arguments.end());
        EXPECT_EQ(row.kind, command.kind) << shown;
        if (row.server) {
            EXPECT_STREQ(row.server, command.server) << shown;
        }
    }
}

namespace {

int NotElevated(void)
{
    return 0;
}

BOOL WINAPI SettingWithoutTheRight(const SYSTEMTIME *)
{
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

// Pumps, ticking while the elevated instance runs, until the run is over.
void RunUntilIdle(int *sawWait)
{
    DWORD start = GetTickCount();
    while (CurrentState != Idle && GetTickCount() - start < 30000) {
        PumpMessages();
        if (CurrentState == ElevationWait) {
            *sawWait = 1;
            RunTicks(1);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

// The elevated instance's own exchange (any request after the first of a run) finds the server
// 0.1 s further ahead, so what is shown is told from what this instance measured.
struct Ahead { int64_t first; int firstRequest; };

void LaterRequestsFurtherAhead(uint8_t *reply, int *, void *context)
{
    const Ahead *ahead = (const Ahead *)context;
    int64_t offset = ahead->first + (FakeNtpServerRequestCount() > ahead->firstRequest ? Second / 10 : 0);
    FakeNtpPutTimestamp(reply + 32, FakeNtpNow() + offset);
    FakeNtpPutTimestamp(reply + 40, FakeNtpNow() + offset);
}

std::string ErrorText(DWORD error)
{
    char text[256];
    WindowsErrorText(error, text, sizeof text);
    return text;
}

class ElevatedSync : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartNetwork();
        CreateTestClockWindow();
        FakeNtpServerConfig config = {};
        ASSERT_EQ(0, FakeNtpServerStart(&config)) << "port 123 busy";
    }
    static void TearDownTestSuite()
    {
        FakeNtpServerStop();
        StopNetwork();
    }
    void TearDown() override
    {
        CloseExchange();
        StopClock(&clock);
    }
    RunningClock clock = {};
};

}  // namespace

// This instance may not set the clock; the product started through "runas" makes its own
// exchange, and its outcome is what the status and the one log line show.
TEST_F(ElevatedSync, ElevatedInstanceMakesTheCorrection)
{
    struct Row { int64_t ahead; int startable; const char *status; } rows[] = {
        {3 * Second / 10, 1, " 秒の誤差を補正しました。"},
        {5 * Second, 1, "時計を変更できませんでした。誤差は "},
        // Windows cannot start it: as declined, this instance's own measurement is reported.
        {3 * Second / 10, 0, "管理者の許可がないため時計を変更できませんでした。誤差は "},
    };
    for (const Row &row : rows) {
        static Ahead ahead;
        ahead = Ahead{row.ahead, FakeNtpServerRequestCount() + 1};
        FakeNtpServerConfig config = {};
        config.shape = LaterRequestsFurtherAhead;
        config.context = &ahead;
        FakeNtpServerConfigure(&config);
        // The elevated instance reads this INI, but writes no log of its own.
        std::string folder = MakeRunFolder("elevated", "[SETUP]\r\nSaveLog=1\r\nSaveEventLog=1\r\n");
        std::string exe = folder + (row.startable ? "vellmarin.exe" : "missing.exe");
        ResetMachine(StandardStyle);
        SyncServices.startExchange = StartExchange;
        SyncServices.sendRequest = SendPreparedRequest;
        SyncServices.exchangeTick = ExchangeTick;
        SyncServices.closeExchange = CloseExchange;
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM) "127.0.0.1");
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        Settings.SaveLog = 1;
        Settings.MinAdjust = 100;
        Settings.Elevate = 1;
        snprintf(ProgramDirectory, sizeof ProgramDirectory, "%s", folder.c_str());
        ElevatedExePath = exe.c_str();
        QueryProcessElevated = NotElevated;
        SetSystemClock = SettingWithoutTheRight;
        ElevationAsked = 0;

        int sawWait = 0;
        Dispatch(SyncButton);
        RunUntilIdle(&sawWait);
        std::string status = StatusText;
        EXPECT_TRUE(sawWait);      // the prompt too is waited for with the clock ticking
        EXPECT_NE(std::string::npos, status.find(row.status)) << status;
        // The child's offset is 0.1 s from this instance's own: 40 ms tells them apart on a
        // loaded machine, where a loopback measurement may be some 10 ms off.
        double shown = -(double)(row.ahead + (row.startable ? Second / 10 : 0)) / Second;
        EXPECT_NEAR(shown, ErrorSeconds(status), 0.040) << status;
        std::vector<std::string> log = ReadLines(LogPath(folder));
        ASSERT_EQ(2u, log.size());
        EXPECT_NEAR(shown, ErrorSeconds(log[1].substr(log[1].find(',') + 1)), 0.040);
        if (row.ahead < Second || !row.startable)
            continue;
        // The child's 1314 reached the status; a second failure in this start asks no more.
        EXPECT_NE(std::string::npos, status.find(ErrorText(ERROR_PRIVILEGE_NOT_HELD))) << status;
        Settings.ResyncOnWake = 1;
        for (int wake = 0; wake <= 1; ++wake) {     // of a manual query or of a wake's own
            sawWait = 0;
            wake ? SystemResumed() : Dispatch(SyncButton);
            RunTicks(wake * 4);
            RunUntilIdle(&sawWait);
            EXPECT_FALSE(sawWait);
            EXPECT_NE(std::string::npos, std::string(StatusText).find(ErrorText(ERROR_PRIVILEGE_NOT_HELD)));
        }
    }
    ElevatedExePath = NULL;
    QueryProcessElevated = TokenIsElevated;
}

// The product itself in a fresh folder: exit codes, no window, neither INI nor log written.
TEST_F(ElevatedSync, SyncCommandOfTheProduct)
{
    // A step above ConfirmStep (1000 s) is set only when the starting instance left the same
    // measurement in the result block (0: none left); Wine then refuses a shift that large.
    struct Row { int64_t ahead; const char *arguments; int code; int64_t starter; } rows[] = {
        {3 * Second / 10, "/sync 127.0.0.1", 0, 0},
        {5 * Second, "/sync 127.0.0.1", 3, 0},
        {0, "/sync", 87, 0},
        {0, "/sync 127.0.0.1 ::1", 87, 0},
        {2000 * Second, "/sync 127.0.0.1", 2, 0},
        {2000 * Second, "/sync 127.0.0.1", 2, -2000 * Second},
        {2000 * Second, "/sync 127.0.0.1", 3, 2000 * Second},
    };
    for (const Row &row : rows) {
        OpenCommandResult();
        if (row.starter != 0)
            OfferStarterOffset(row.starter);
        FakeNtpServerConfig config = {};
        config.offset = row.ahead;
        FakeNtpServerConfigure(&config);
        std::string folder = MakeRunFolder("sync", "");
        DeleteFileA((folder + "vellmarin.ini").c_str());
        ASSERT_EQ(0, LaunchClock(folder, &clock, row.arguments));
        int code = -1, windows = 0;
        for (int i = 0; i < 2000 && (code = WaitForExit(&clock, 10)) == -1; ++i)
            windows += FindProcessWindow(clock.process.dwProcessId, NULL, NULL, 0, 0) != NULL;
        EXPECT_EQ(row.code, code) << row.arguments;
        EXPECT_EQ(0, windows) << row.arguments;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder + "vellmarin.ini").c_str()));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(LogPath(folder).c_str()));
        StopClock(&clock);
        CloseCommandResult();
    }
}
