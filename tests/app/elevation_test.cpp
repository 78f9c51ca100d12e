// Elevation on demand: the decision and the command line as tables, then the real product
// started through "runas" for the correction this instance could not make, against a fake server.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "base/wide_text.h"
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
static const char BlockName[] = "Local\\vellmarin command result";

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
        {L"/sync " + longest + L".co!", BadCommand, ""},      // the 256th byte is checked too
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

// The server is `first` ahead for the run's first request, `later` for the others: the elevated
// instance's exchange is told from this instance's, a second opinion from the first.
struct Ahead { int64_t first; int firstRequest; int64_t later; };

void LaterRequestsFurtherAhead(uint8_t *reply, int *, void *context)
{
    const Ahead *ahead = (const Ahead *)context;
    int64_t offset = FakeNtpServerRequestCount() > ahead->firstRequest ? ahead->later : ahead->first;
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
    struct Row { int64_t ahead; int startable; const char *status; int squatted = 0; } rows[] = {
        {3 * Second / 10, 1, " 秒の誤差を補正しました。"},
        {5 * Second, 1, "時計を変更できませんでした。誤差は "},
        // Windows cannot start it: as declined, this instance's own measurement is reported.
        {3 * Second / 10, 0, "管理者の許可がないため時計を変更できませんでした。誤差は "},
        // Another process made the result block first: nothing is started, and nobody declined.
        {3 * Second / 10, 1, "時計を変更できませんでした。誤差は ", 1},
    };
    for (const Row &row : rows) {
        static Ahead ahead;
        ahead = Ahead{row.ahead, FakeNtpServerRequestCount() + 1, row.ahead + Second / 10};
        HANDLE squat = row.squatted ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE,
                                                         0, 4096, BlockName) : NULL;
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
        TextToWide(folder.c_str(), ProgramDirectory, MAX_PATH);
        ElevatedExePath = exe.c_str();
        QueryProcessElevated = NotElevated;
        SetSystemClock = SettingWithoutTheRight;
        ElevationAsked = 0;

        int sawWait = 0;
        Dispatch(SyncButton);
        RunUntilIdle(&sawWait);
        std::string status = StatusText;
        CloseHandle(squat);
        // The prompt too is waited for with the clock ticking.
        EXPECT_EQ(!row.squatted, sawWait);
        EXPECT_NE(std::string::npos, status.find(row.status)) << status;
        EXPECT_EQ(row.squatted, status.find(ErrorText(ERROR_ALREADY_EXISTS)) != std::string::npos) << status;
        // The child's offset is 0.1 s from this instance's own: 40 ms tells them apart on a
        // loaded machine, where a loopback measurement may be some 10 ms off.
        double shown = -(double)(row.ahead + (row.startable && !row.squatted ? Second / 10 : 0)) / Second;
        EXPECT_NEAR(shown, ErrorSeconds(status), 0.040) << status;
        std::vector<std::string> log = ReadLines(LogPath(folder));
        ASSERT_EQ(2u, log.size());
        EXPECT_NEAR(shown, ErrorSeconds(log[1].substr(log[1].find(',') + 1)), 0.040);
        if (row.ahead < Second || !row.startable || row.squatted)
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

// The product itself in a fresh folder: exit codes, no window, no log, the INI left as it was. A
// step above ConfirmStep (1000 s) is set only when another address of the INI's list agrees;
// Wine then refuses a shift that large (3). The block's bytes change nothing.
TEST_F(ElevatedSync, SyncCommandOfTheProduct)
{
    const std::string name256 = std::string(252, 'a') + ".com";
    const std::string server256 = "/sync " + name256, server257 = "/sync a" + name256;
    const char *const both = "Server0=127.0.0.1\r\nServer1=::1\r\n";
    struct Row { int64_t ahead, later; const char *arguments; const char *servers; int code; } rows[] = {
        {3 * Second / 10, 3 * Second / 10, "/sync 127.0.0.1", nullptr, 0},
        {5 * Second, 5 * Second, "/sync 127.0.0.1", nullptr, 3},
        {0, 0, "/sync", nullptr, 87},
        {0, 0, "/sync 127.0.0.1 ::1", nullptr, 87},
        {0, 0, server257.c_str(), nullptr, 87},
        {0, 0, server256.c_str(), nullptr, 2},      // runs: the name cannot be looked up
        {2000 * Second, 2000 * Second, "/sync 127.0.0.1", nullptr, 2},
        {2000 * Second, 2000 * Second, "/sync 127.0.0.1", "Server0=127.0.0.1\r\n", 2},
        {2000 * Second, 2000 * Second, "/sync 127.0.0.1", both, 3},
        {2000 * Second, 2000 * Second, "/sync ::1", both, 3},
        {2000 * Second, 0, "/sync 127.0.0.1", both, 2},
        // Two entries, one address: it counts once, and the next address is asked.
        {2000 * Second, 2000 * Second, "/sync 127.0.0.1", "Server0=::ffff:127.0.0.1\r\n", 2},
        {2000 * Second, 2000 * Second, "/sync 127.0.0.1",
         "Server0=127.0.0.1\r\nServer1=::ffff:127.0.0.1\r\nServer2=::1\r\n", 3},
        // The list's next ones after the command line's, four servers in all: ::1 comes too late.
        {2000 * Second, 2000 * Second, "/sync 127.0.0.1", "Server0=::1\r\nServer1=127.0.0.1\r\n"
         "Server2=::ffff:127.0.0.1\r\nServer3=[::ffff:127.0.0.1]\r\nServer4=0:0:0:0:0:ffff:7f00:1\r\n", 2},
    };
    for (const Row &row : rows) {
        // Whatever another process of the user may leave in the block before /sync starts.
        CommandResult junk;
        memset(&junk, 0x5A, sizeof junk);
        OpenCommandResult();
        WriteCommandResult(&junk);
        static Ahead ahead;
        ahead = Ahead{row.ahead, FakeNtpServerRequestCount() + 1, row.later};
        FakeNtpServerConfig config = {};
        config.shape = LaterRequestsFurtherAhead;
        config.context = &ahead;
        FakeNtpServerConfigure(&config);
        std::string ini = row.servers ? std::string("[SERVER]\r\n") + row.servers : "";
        std::string folder = MakeRunFolder("sync", ini);
        ASSERT_EQ(0, LaunchClock(folder, &clock, row.arguments));
        int code = -1, windows = 0;
        for (int i = 0; i < 2000 && (code = WaitForExit(&clock, 10)) == -1; ++i)
            windows += FindProcessWindow(clock.process.dwProcessId, NULL, NULL, 0, 0) != NULL;
        EXPECT_EQ(row.code, code) << row.arguments << " " << (row.servers ? row.servers : "");
        EXPECT_EQ(0, windows) << row.arguments;
        EXPECT_EQ(ini, ReadWholeFile(folder + "vellmarin.ini"));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(LogPath(folder).c_str()));
        StopClock(&clock);
        CloseCommandResult();
    }
}
