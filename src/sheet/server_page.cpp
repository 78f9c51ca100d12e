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
#include "base/wide_text.h"
#include "resource.h"

int (WINAPI *SheetMessageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT type) = MessageBox932;
void (*ServerTestRequested)(void) = NULL;

static HWND ServerPage = NULL;
static HWND ServerList = NULL;
static HWND ServerEdit = NULL;
static HWND AddButton = NULL;
static int ServerPageReady = 0;
static char TestName[ServerNameMax + 1];

// Reads entry `index` of a list box or combo box as the control holds it; -1 when it is missing
// or longer than a server name may be.
static int ReadEntry(HWND control, UINT lenMessage, UINT textMessage, int index,
                     WCHAR (&text)[ServerNameMax + 1])
{
    LRESULT length = SendMessageW(control, lenMessage, (WPARAM)index, 0);
    if (length < 0 || length > ServerNameMax)
        return -1;
    text[0] = L'\0';
    if (SendMessageW(control, textMessage, (WPARAM)index, (LPARAM)text) < 0)
        return -1;
    text[ServerNameMax] = L'\0';
    return 0;
}

static int EditHasText(void)
{
    return SendMessageW(ServerEdit, EM_LINELENGTH, 0, 0) > 0;
}

static void RefuseServerName(const char *text)
{
    SheetMessageBox(ClockWindow, text, "vellmarin エラー", MB_OK | MB_ICONERROR);
}

static void InitServerPage(HWND page)
{
    ServerPage = page;
    TestOutputBox = GetDlgItem(page, IDC_TEST_OUTPUT);
    ServerList = GetDlgItem(page, IDC_SERVER_LIST);
    ServerEdit = GetDlgItem(page, IDC_SERVER_EDIT);
    AddButton = GetDlgItem(page, IDC_ADD_BUTTON);
    SendMessageW(ServerEdit, EM_LIMITTEXT, ServerNameMax, 0);
    EnableWindow(AddButton, FALSE);
    int count = ServerCombo ? (int)SendMessageW(ServerCombo, CB_GETCOUNT, 0, 0) : 0;
    for (int i = 0; i < count; i++) {
        WCHAR name[ServerNameMax + 1];
        if (ReadEntry(ServerCombo, CB_GETLBTEXTLEN, CB_GETLBTEXT, i, name) != 0)
            break;
        SendMessageW(ServerList, LB_ADDSTRING, 0, (LPARAM)name);
    }
    ServerPageReady = 1;
}

// Moves the entry at `from` to `to` and keeps it selected.
static void MoveEntry(int from, int to)
{
    WCHAR name[ServerNameMax + 1];
    if (ReadEntry(ServerList, LB_GETTEXTLEN, LB_GETTEXT, from, name) != 0)
        return;
    SendMessageW(ServerList, LB_DELETESTRING, (WPARAM)from, 0);
    SendMessageW(ServerList, LB_INSERTSTRING, (WPARAM)to, (LPARAM)name);
    SendMessageW(ServerList, LB_SETCURSEL, (WPARAM)to, 0);
}

static void MoveUp(void)
{
    int selected = (int)SendMessageW(ServerList, LB_GETCURSEL, 0, 0);
    if (selected != LB_ERR && selected > 0)
        MoveEntry(selected, selected - 1);
}

static void MoveDown(void)
{
    int selected = (int)SendMessageW(ServerList, LB_GETCURSEL, 0, 0);
    int count = (int)SendMessageW(ServerList, LB_GETCOUNT, 0, 0);
    if (selected != LB_ERR && selected < count - 1)
        MoveEntry(selected, selected + 1);
}

static void DeleteSelected(void)
{
    int selected = (int)SendMessageW(ServerList, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return;
    SendMessageW(ServerList, LB_DELETESTRING, (WPARAM)selected, 0);
    int count = (int)SendMessageW(ServerList, LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessageW(ServerList, LB_SETCURSEL, (WPARAM)(selected < count ? selected : count - 1), 0);
}

static void AddServer(void)
{
    if (!EditHasText())
        return;
    if (SendMessageW(ServerList, LB_GETCOUNT, 0, 0) >= ServerListMax) {
        RefuseServerName("これ以上サーバーを追加できません。");
        return;
    }
    WCHAR wide[ServerNameMax + 1];
    GetWindowTextW(ServerEdit, wide, ServerNameMax + 1);
    // A host name or address is ASCII: anything else would reach the resolver mangled.
    int ascii = 1;
    for (const WCHAR *p = wide; *p; ++p)
        ascii = ascii && *p < 0x80;
    char name[ServerNameMax + 1];
    struct sockaddr_storage address;
    if (!ascii || ParseAddressLiteral(WideToText(wide, name, sizeof name), &address) == FormNotAccepted) {
        RefuseServerName("ｴﾗｰ:ｻｰﾊﾞｰ名の形式が正しくありません。");
        return;
    }
    int selected = (int)SendMessageW(ServerList, LB_GETCURSEL, 0, 0);
    int at = (int)SendMessageW(ServerList, LB_INSERTSTRING, (WPARAM)(selected == LB_ERR ? -1 : selected),
                               (LPARAM)wide);
    if (at >= 0)
        SendMessageW(ServerList, LB_SETCURSEL, (WPARAM)at, 0);
    SetWindowTextW(ServerEdit, L"");
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
    SendMessageW(ServerCombo, CB_RESETCONTENT, 0, 0);
    int count = (int)SendMessageW(ServerList, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        WCHAR name[ServerNameMax + 1];
        if (ReadEntry(ServerList, LB_GETTEXTLEN, LB_GETTEXT, i, name) != 0)
            break;
        SendMessageW(ServerCombo, CB_ADDSTRING, 0, (LPARAM)name);
    }
    SendMessageW(ServerCombo, CB_SETCURSEL, 0, 0);
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
    int count = (int)SendMessageW(ServerList, LB_GETCOUNT, 0, 0);
    if (count <= 0)
        return TestName;
    int selected = (int)SendMessageW(ServerList, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) {
        selected = 0;
        SendMessageW(ServerList, LB_SETCURSEL, 0, 0);
    }
    WCHAR name[ServerNameMax + 1];
    if (ReadEntry(ServerList, LB_GETTEXTLEN, LB_GETTEXT, selected, name) == 0)
        WideToText(name, TestName, sizeof TestName);
    return TestName;
}

static void SwitchSheetControl(HWND control, int enable)
{
    WCHAR className[100];
    if (GetClassNameW(control, className, 100) > 0 && wcscmp(className, L"#32770") == 0)
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
        SetWindowText932(GetDlgItem(ServerPage, IDC_TEST_BUTTON), enable ? "テスト" : "中止");
    }
    // The sheet's own buttons and its tab control are siblings of the pages: walk both ways
    // from the OK button and leave the pages (dialog class) alone.
    HWND ok = PropertySheetWindow ? GetDlgItem(PropertySheetWindow, IDOK) : NULL;
    for (HWND control = ok; control; control = GetWindow(control, GW_HWNDNEXT))
        SwitchSheetControl(control, enable);
    for (HWND control = ok; control; control = GetWindow(control, GW_HWNDPREV))
        SwitchSheetControl(control, enable);
}
