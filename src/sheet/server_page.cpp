// The server page: editing the ordered server list, starting and stopping a server test, and
// locking the page and the sheet while the test runs.
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include "sheet/server_page.h"
#include "sheet/sheet_pages.h"
#include "sheet/property_sheet.h"
#include "base/settings.h"
#include "clockwin/layout.h"
#include "sntp/exchange.h"
#include "base/program.h"
#include "resource.h"

int (WINAPI *SheetMessageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT type) = MessageBoxA;
void (*ServerTestRequested)(void) = NULL;

static HWND ServerPage = NULL;
static HWND ServerList = NULL;
static HWND ServerEdit = NULL;
static HWND AddButton = NULL;
static int ServerPageReady = 0;
static char TestName[ServerNameMax + 1];

// Reads entry `index` of a list box or combo box into a 257-byte buffer; -1 when it is missing
// or longer than a server name may be.
static int ReadEntry(HWND control, UINT lenMessage, UINT textMessage, int index,
                     char (&text)[ServerNameMax + 1])
{
    LRESULT length = SendMessageA(control, lenMessage, (WPARAM)index, 0);
    if (length < 0 || length > ServerNameMax)
        return -1;
    text[0] = '\0';
    if (SendMessageA(control, textMessage, (WPARAM)index, (LPARAM)text) < 0)
        return -1;
    text[ServerNameMax] = '\0';
    return 0;
}

static int EditHasText(void)
{
    return SendMessageA(ServerEdit, EM_LINELENGTH, 0, 0) > 0;
}

static void InitServerPage(HWND page)
{
    ServerPage = page;
    TestOutputBox = GetDlgItem(page, IDC_TEST_OUTPUT);
    ServerList = GetDlgItem(page, IDC_SERVER_LIST);
    ServerEdit = GetDlgItem(page, IDC_SERVER_EDIT);
    AddButton = GetDlgItem(page, IDC_ADD_BUTTON);
    SendMessageA(ServerEdit, EM_LIMITTEXT, ServerNameMax, 0);
    EnableWindow(AddButton, FALSE);
    int count = ServerCombo ? (int)SendMessageA(ServerCombo, CB_GETCOUNT, 0, 0) : 0;
    for (int i = 0; i < count; i++) {
        char name[ServerNameMax + 1];
        if (ReadEntry(ServerCombo, CB_GETLBTEXTLEN, CB_GETLBTEXT, i, name) != 0)
            break;
        SendMessageA(ServerList, LB_ADDSTRING, 0, (LPARAM)name);
    }
    ServerPageReady = 1;
}

// Moves the entry at `from` to `to` and keeps it selected.
static void MoveEntry(int from, int to)
{
    char name[ServerNameMax + 1];
    if (ReadEntry(ServerList, LB_GETTEXTLEN, LB_GETTEXT, from, name) != 0)
        return;
    SendMessageA(ServerList, LB_DELETESTRING, (WPARAM)from, 0);
    SendMessageA(ServerList, LB_INSERTSTRING, (WPARAM)to, (LPARAM)name);
    SendMessageA(ServerList, LB_SETCURSEL, (WPARAM)to, 0);
}

static void MoveUp(void)
{
    int selected = (int)SendMessageA(ServerList, LB_GETCURSEL, 0, 0);
    if (selected != LB_ERR && selected > 0)
        MoveEntry(selected, selected - 1);
}

static void MoveDown(void)
{
    int selected = (int)SendMessageA(ServerList, LB_GETCURSEL, 0, 0);
    int count = (int)SendMessageA(ServerList, LB_GETCOUNT, 0, 0);
    if (selected != LB_ERR && selected < count - 1)
        MoveEntry(selected, selected + 1);
}

static void DeleteSelected(void)
{
    int selected = (int)SendMessageA(ServerList, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return;
    SendMessageA(ServerList, LB_DELETESTRING, (WPARAM)selected, 0);
    int count = (int)SendMessageA(ServerList, LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessageA(ServerList, LB_SETCURSEL, (WPARAM)(selected < count ? selected : count - 1), 0);
}

static void AddServer(void)
{
    if (!EditHasText())
        return;
    if (SendMessageA(ServerList, LB_GETCOUNT, 0, 0) >= ServerListMax) {
        SheetMessageBox(ClockWindow, "これ以上サーバーを追加できません。", "vellmarin エラー",
                        MB_OK | MB_ICONERROR);
        return;
    }
    char name[ServerNameMax + 1];
    GetWindowTextA(ServerEdit, name, sizeof name);
    struct sockaddr_storage address;
    if (ParseAddressLiteral(name, &address) == FormNotAccepted) {
        SheetMessageBox(ClockWindow, "ｴﾗｰ:ｻｰﾊﾞｰ名の形式が正しくありません。", "vellmarin エラー",
                        MB_OK | MB_ICONERROR);
        return;
    }
    int selected = (int)SendMessageA(ServerList, LB_GETCURSEL, 0, 0);
    int at = (int)SendMessageA(ServerList, LB_INSERTSTRING, (WPARAM)(selected == LB_ERR ? -1 : selected),
                               (LPARAM)name);
    if (at >= 0)
        SendMessageA(ServerList, LB_SETCURSEL, (WPARAM)at, 0);
    SetWindowTextA(ServerEdit, "");
}

static void ServerCommand(HWND page, int id, int code)
{
    switch (id) {
    case IDC_UP_BUTTON:
    case IDC_DOWN_BUTTON:
    case IDC_DELETE_BUTTON:
    case IDC_ADD_BUTTON:
        if (code != BN_CLICKED)
            return;
        if (id == IDC_UP_BUTTON)
            MoveUp();
        else if (id == IDC_DOWN_BUTTON)
            MoveDown();
        else if (id == IDC_DELETE_BUTTON)
            DeleteSelected();
        else
            AddServer();
        ReportPageChange(page);
        return;
    case IDC_TEST_BUTTON:
        if (code == BN_CLICKED && ServerTestRequested)
            ServerTestRequested();
        return;
    case IDC_SERVER_EDIT:
        if (code == EN_CHANGE && ServerPageReady)
            EnableWindow(AddButton, EditHasText());
        return;
    }
}

static void ApplyServers(void)
{
    SheetApplied = 1;
    if (!ServerCombo)
        return;
    SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
    int count = (int)SendMessageA(ServerList, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        char name[ServerNameMax + 1];
        if (ReadEntry(ServerList, LB_GETTEXTLEN, LB_GETTEXT, i, name) != 0)
            break;
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM)name);
    }
    SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
}

static void ForgetServerPage(void)
{
    ServerPageReady = 0;
    TestOutputBox = NULL;
    ServerPage = NULL;
    ServerList = NULL;
    ServerEdit = NULL;
    AddButton = NULL;
}

INT_PTR CALLBACK ServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitServerPage(page);
        return TRUE;
    case WM_COMMAND:
        ServerCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->code == PSN_APPLY) {
            ApplyServers();
            return AcceptApply(page);
        }
        return FALSE;
    case WM_DESTROY:
        ForgetServerPage();
        return FALSE;
    }
    return FALSE;
}

const char *TestServerName(void)
{
    TestName[0] = '\0';
    if (!ServerList)
        return TestName;
    int count = (int)SendMessageA(ServerList, LB_GETCOUNT, 0, 0);
    if (count <= 0)
        return TestName;
    int selected = (int)SendMessageA(ServerList, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) {
        selected = 0;
        SendMessageA(ServerList, LB_SETCURSEL, 0, 0);
    }
    if (ReadEntry(ServerList, LB_GETTEXTLEN, LB_GETTEXT, selected, TestName) != 0)
        TestName[0] = '\0';
    return TestName;
}

static void SwitchSheetControl(HWND control, int enable)
{
    char className[100];
    if (GetClassNameA(control, className, sizeof className) > 0 && strcmp(className, "#32770") == 0)
        return;
    EnableWindow(control, enable ? TRUE : FALSE);
}

void SetTestControlsEnabled(int enable)
{
    SheetLocked = enable ? 0 : 1;
    if (ServerPage) {
        static const int LockedIds[] = {IDC_SERVER_LIST, IDC_SERVER_EDIT, IDC_UP_BUTTON,
                                        IDC_DOWN_BUTTON, IDC_DELETE_BUTTON};
        for (int id : LockedIds)
            EnableWindow(GetDlgItem(ServerPage, id), enable ? TRUE : FALSE);
        EnableWindow(AddButton, enable && EditHasText());
        SetDlgItemTextA(ServerPage, IDC_TEST_BUTTON, enable ? "テスト" : "中止");
    }
    // The sheet's own buttons and its tab control are siblings of the pages: walk both ways
    // from the OK button and leave the pages (dialog class) alone.
    HWND ok = PropertySheetWindow ? GetDlgItem(PropertySheetWindow, IDOK) : NULL;
    for (HWND control = ok; control; control = GetWindow(control, GW_HWNDNEXT))
        SwitchSheetControl(control, enable);
    for (HWND control = ok; control; control = GetWindow(control, GW_HWNDPREV))
        SwitchSheetControl(control, enable);
}
