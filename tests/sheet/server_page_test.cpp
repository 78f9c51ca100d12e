// The server page through the real sheet: list editing, the full-list box (through its seam),
// the add button, the edit limit, what OK and Cancel do with the list, and the sheet's lock.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "sheet/sheet_harness.h"
#include "base/program.h"
#include "base/wide_text.h"
#include "app/sync_machine.h"
#include "clockwin/layout.h"
#include "base/settings.h"
#include "sheet/property_sheet.h"
#include "sheet/server_page.h"
#include "sheet/sheet_pages.h"
#include "sntp/exchange.h"
#include "resource.h"

namespace {

int BoxCalls;
HWND BoxOwner;
std::string BoxText, BoxCaption;
UINT BoxType;

int WINAPI AnswerBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    BoxCalls++;
    BoxOwner = owner;
    BoxText = text;
    BoxCaption = caption;
    BoxType = type;
    return IDOK;
}

std::string ServersIni(int count)
{
    std::string text = "[SERVER]\r\n";
    for (int i = 0; i < count; i++)
        text += "Server" + std::to_string(i) + "=127.0.0." + std::to_string(i + 1) + "\r\n";
    return text;
}

class ServerPage : public ::testing::Test {
protected:
    void Open(int servers)
    {
        SetUpClock(ServersIni(servers).c_str());
        SheetMessageBox = AnswerBox;
        BoxCalls = 0;
    }
    void TearDown() override
    {
        TearDownClock();
        SheetMessageBox = MessageBox932;
    }
};

int Selection(HWND page)
{
    return (int)SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_GETCURSEL, 0, 0);
}

TEST_F(ServerPage, MovingDeletingAndAddingEntries)
{
    enum Op { Up, Down, Delete, Add };
    struct Row {
        int servers; int selected; Op op;
        const char *list; int selection;
    };
    // Names below are shortened to their last octet: "1|2|3" is 127.0.0.1 to 127.0.0.3.
    const Row rows[] = {
        {3, 0, Up, "1|2|3", 0},
        {3, 2, Up, "1|3|2", 1},
        {3, -1, Up, "1|2|3", -1},
        {3, 2, Down, "1|2|3", 2},
        {3, 0, Down, "2|1|3", 1},
        {3, -1, Down, "1|2|3", -1},
        {3, 1, Delete, "1|3", 1},
        {3, 2, Delete, "1|2", 1},
        {3, -1, Delete, "1|2|3", -1},
        {1, 0, Delete, "", -1},
        {3, -1, Add, "1|2|3|x", 3},
        {3, 1, Add, "1|x|2|3", 1},
        {1, -1, Add, "1|x", 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "servers " << row.servers << " selected " << row.selected
                                        << " op " << row.op);
        Open(row.servers);
        std::string list, comboAfterCancel;
        int selection = -2;
        RunSheet([&](HWND sheet) {
            HWND page = ShowPage(sheet, 1);
            SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_SETCURSEL, (WPARAM)row.selected, 0);
            static const int Buttons[] = {IDC_UP_BUTTON, IDC_DOWN_BUTTON, IDC_DELETE_BUTTON,
                                          IDC_ADD_BUTTON};
            if (row.op == Add)
                SetText(page, IDC_SERVER_EDIT, "x");
            Click(page, Buttons[row.op]);
            std::string entries = ListEntries(GetDlgItem(page, IDC_SERVER_LIST));
            for (size_t at; (at = entries.find("127.0.0.")) != std::string::npos;)
                entries.erase(at, 8);
            list = entries;
            selection = Selection(page);
            PressOk(sheet);
        });
        EXPECT_EQ(row.list, list);
        EXPECT_EQ(row.selection, selection);
        TearDownClock();
    }
}

TEST_F(ServerPage, OkWritesTheListToTheComboAndTheFileCancelLeavesBoth)
{
    Open(3);
    // The same edit each time: third entry up, then the first deleted.
    auto editThen = [](void (*close)(HWND)) {
        RunSheet([close](HWND sheet) {
            HWND page = ShowPage(sheet, 1);
            SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_SETCURSEL, 2, 0);
            Click(page, IDC_UP_BUTTON);
            SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_SETCURSEL, 0, 0);
            Click(page, IDC_DELETE_BUTTON);
            close(sheet);
        });
    };
    editThen(PressCancel);
    EXPECT_EQ("127.0.0.1|127.0.0.2|127.0.0.3", ComboEntries(ServerCombo));
    EXPECT_EQ("<missing>", IniString("SETUP", "MinAdjust"));

    SendMessageA(ServerCombo, CB_SETCURSEL, 2, 0);
    editThen(PressOk);
    EXPECT_EQ("127.0.0.3|127.0.0.2", ComboEntries(ServerCombo));
    EXPECT_EQ(0, (int)SendMessageA(ServerCombo, CB_GETCURSEL, 0, 0));
    EXPECT_EQ("127.0.0.3", IniString("SERVER", "Server0"));
    EXPECT_EQ("127.0.0.2", IniString("SERVER", "Server1"));
    EXPECT_EQ("<missing>", IniString("SERVER", "Server2"));

    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_RESETCONTENT, 0, 0);
        PressOk(sheet);
    });
    EXPECT_EQ(0, (int)SendMessageA(ServerCombo, CB_GETCOUNT, 0, 0));
    EXPECT_EQ("<missing>", IniString("SERVER", "Server0"));
}

TEST_F(ServerPage, FullListRefusesTheNewEntryUntilOneIsDeleted)
{
    Open(32);
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        HWND list = GetDlgItem(page, IDC_SERVER_LIST);
        ASSERT_EQ(32, (int)SendMessageA(list, LB_GETCOUNT, 0, 0));
        SetText(page, IDC_SERVER_EDIT, "localhost");
        Click(page, IDC_ADD_BUTTON);
        EXPECT_EQ(1, BoxCalls);
        EXPECT_EQ(ClockWindow, BoxOwner);
        EXPECT_EQ("これ以上サーバーを追加できません。", BoxText);
        EXPECT_EQ("vellmarin エラー", BoxCaption);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONERROR), BoxType);
        EXPECT_EQ(32, (int)SendMessageA(list, LB_GETCOUNT, 0, 0));
        EXPECT_EQ("localhost", Text(page, IDC_SERVER_EDIT));

        SendMessageA(list, LB_SETCURSEL, 31, 0);
        Click(page, IDC_DELETE_BUTTON);
        SendMessageA(list, LB_SETCURSEL, (WPARAM)-1, 0);
        Click(page, IDC_ADD_BUTTON);
        EXPECT_EQ(1, BoxCalls);
        EXPECT_EQ(32, (int)SendMessageA(list, LB_GETCOUNT, 0, 0));
        PressOk(sheet);
    });
    EXPECT_EQ("localhost", IniString("SERVER", "Server31"));
}

TEST_F(ServerPage, AddButtonFollowsTheEditText)
{
    Open(1);
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        HWND add = GetDlgItem(page, IDC_ADD_BUTTON);
        EXPECT_FALSE(IsWindowEnabled(add));
        TypeText(page, IDC_SERVER_EDIT, "a");
        EXPECT_TRUE(IsWindowEnabled(add));
        SetText(page, IDC_SERVER_EDIT, "");
        EXPECT_FALSE(IsWindowEnabled(add));
        TypeText(page, IDC_SERVER_EDIT, "127.0.0.9");
        Click(page, IDC_ADD_BUTTON);
        EXPECT_EQ("", Text(page, IDC_SERVER_EDIT));
        EXPECT_FALSE(IsWindowEnabled(add));
        EXPECT_EQ("127.0.0.1|127.0.0.9", ListEntries(GetDlgItem(page, IDC_SERVER_LIST)));
        // A form no lookup could find is refused with its reason and stays to be mended.
        TypeText(page, IDC_SERVER_EDIT, "127.0.0.9:123");
        Click(page, IDC_ADD_BUTTON);
        EXPECT_EQ("ｴﾗｰ:ｻｰﾊﾞｰ名の形式が正しくありません。", BoxText);
        EXPECT_EQ("127.0.0.9:123", Text(page, IDC_SERVER_EDIT));
        EXPECT_EQ("127.0.0.1|127.0.0.9", ListEntries(GetDlgItem(page, IDC_SERVER_LIST)));
        // So is a name outside ASCII, which the resolver would be given mangled ("zoe", "zo?").
        for (const wchar_t *name : {L"zo\u00EB.example", L"\u6642\u8A08.example"}) {
            SetWindowTextW(GetDlgItem(page, IDC_SERVER_EDIT), name);
            BoxText.clear();
            Click(page, IDC_ADD_BUTTON);
            EXPECT_EQ("ｴﾗｰ:ｻｰﾊﾞｰ名の形式が正しくありません。", BoxText);
            EXPECT_EQ("127.0.0.1|127.0.0.9", ListEntries(GetDlgItem(page, IDC_SERVER_LIST)));
        }
    });
}

// The edit box takes 256 characters; such a name travels whole to the file and back.
TEST_F(ServerPage, LongestNameIsCutAtTheEditLimitAndStoredWhole)
{
    Open(1);
    std::string typed(300, 'a');
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        TypeText(page, IDC_SERVER_EDIT, typed.c_str());
        EXPECT_EQ(256u, Text(page, IDC_SERVER_EDIT).size());
        Click(page, IDC_ADD_BUTTON);
        PressOk(sheet);
    });
    EXPECT_EQ(std::string(256, 'a'), IniString("SERVER", "Server1"));
    RunSheet([](HWND sheet) {
        HWND list = GetDlgItem(ShowPage(sheet, 1), IDC_SERVER_LIST);
        EXPECT_EQ(256, (int)SendMessageA(list, LB_GETTEXTLEN, 1, 0));
    });
}

TEST_F(ServerPage, TestServerNameSelectsTheFirstEntryWhenNoneIsSelected)
{
    Open(3);
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        EXPECT_EQ(-1, Selection(page));
        EXPECT_STREQ("127.0.0.1", TestServerName());
        EXPECT_EQ(0, Selection(page));
        SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_SETCURSEL, 2, 0);
        EXPECT_STREQ("127.0.0.3", TestServerName());
        SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_RESETCONTENT, 0, 0);
        EXPECT_STREQ("", TestServerName());
    });
}

TEST_F(ServerPage, TestWithAnEmptyListSaysSoAndChangesNothing)
{
    Open(1);
    std::string output, caption;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_RESETCONTENT, 0, 0);
        Click(page, IDC_TEST_BUTTON);
        output = Text(page, IDC_TEST_OUTPUT);
        caption = Text(page, IDC_TEST_BUTTON);
        EXPECT_EQ(SettingsOpen, CurrentState);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_SERVER_LIST)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        EXPECT_EQ("", ListEntries(GetDlgItem(page, IDC_SERVER_LIST)));
    });
    EXPECT_EQ("エラー:サーバーを設定してください。\r\n", output);
    EXPECT_EQ("テスト", caption);
}

// Locking for a test: the page's editing controls, the sheet's buttons and tabs; the test
// button and the output box stay usable, and neither Enter, Escape nor the close box ends
// the sheet until it is unlocked.
TEST_F(ServerPage, LockedSheetKeepsOnlyTheStopButtonAndCannotBeClosed)
{
    Open(2);
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        SetText(page, IDC_SERVER_EDIT, "x");
        SetTestControlsEnabled(0);
        const int locked[] = {IDC_SERVER_LIST, IDC_SERVER_EDIT, IDC_UP_BUTTON, IDC_DOWN_BUTTON,
                              IDC_DELETE_BUTTON, IDC_ADD_BUTTON};
        for (int id : locked)
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << id;
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_TEST_BUTTON)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_TEST_OUTPUT)));
        EXPECT_EQ("中止", Text(page, IDC_TEST_BUTTON));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)));
        EXPECT_FALSE(IsWindowEnabled(PropSheet_GetTabControl(sheet)));
        EXPECT_TRUE(IsWindowEnabled(page));

        SendMessageA(sheet, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(sheet, IDCANCEL));
        SendMessageA(sheet, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(sheet, IDOK));
        SendMessageA(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
        PumpUntil([] { return false; }, 100);
        EXPECT_NE(nullptr, PropSheet_GetCurrentPageHwnd(sheet));

        SetTestControlsEnabled(1);
        for (int id : locked)
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, id))) << id;
        SetText(page, IDC_SERVER_EDIT, "");
        SetTestControlsEnabled(0);
        SetTestControlsEnabled(1);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ADD_BUTTON)));
        EXPECT_EQ("テスト", Text(page, IDC_TEST_BUTTON));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        EXPECT_TRUE(IsWindowEnabled(PropSheet_GetTabControl(sheet)));
        SendMessageA(sheet, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(sheet, IDCANCEL));
        PumpUntil([] { return false; }, 50);
    });
    EXPECT_EQ(nullptr, PropertySheetWindow);
}

}  // namespace
