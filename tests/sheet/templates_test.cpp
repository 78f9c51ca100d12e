// The four page templates as linked into the program: every control's id, class, style bits,
// position and text, the texts read back through the ANSI functions under code page 932.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include <string>
#include <vector>
#include "resource.h"

namespace {

struct Item {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::string className;      // "#0080" style for ordinals
    std::string text;           // code page 932; "#126" for an ordinal
};

struct Template {
    DWORD style;
    short cx, cy;
    WORD pointSize;
    std::string face;
    std::vector<Item> items;
};

std::string Narrow(const WCHAR *text)
{
    char buffer[512] = {0};
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    return buffer;
}

// A name-or-ordinal field; returns the next position.
const WORD *ReadNameOrOrdinal(const WORD *p, std::string *out)
{
    if (*p == 0xFFFF) {
        *out = "#" + std::to_string(p[1]);
        return p + 2;
    }
    *out = Narrow((const WCHAR *)p);
    while (*p)
        p++;
    return p + 1;
}

// The predefined classes may be stored by name or by ordinal; compare them as ordinals.
std::string PredefinedClass(const std::string &name)
{
    static const char *const Names[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR",
                                        "COMBOBOX"};
    for (int i = 0; i < 6; i++)
        if (lstrcmpiA(name.c_str(), Names[i]) == 0)
            return "#" + std::to_string(128 + i);
    std::string lower = name;
    CharLowerA(&lower[0]);
    return lower;
}

const WORD *AlignDword(const WORD *p)
{
    return (const WORD *)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
}

bool LoadTemplate(int id, Template *out)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    if (!found)
        return false;
    const WORD *p = (const WORD *)LockResource(LoadResource(NULL, found));
    if (!p || p[0] != 1 || p[1] != 0xFFFF)
        return false;                                   // DIALOGEX only
    const BYTE *b = (const BYTE *)p;
    out->style = *(const DWORD *)(b + 12);
    WORD count = *(const WORD *)(b + 16);
    out->cx = *(const short *)(b + 22);
    out->cy = *(const short *)(b + 24);
    p = (const WORD *)(b + 26);
    std::string ignored;
    p = ReadNameOrOrdinal(p, &ignored);                 // menu
    p = ReadNameOrOrdinal(p, &ignored);                 // class
    p = ReadNameOrOrdinal(p, &ignored);                 // caption
    out->pointSize = p[0];
    p += 3;                                             // size, weight, italic + charset
    out->face = Narrow((const WCHAR *)p);
    while (*p)
        p++;
    p++;
    for (WORD i = 0; i < count; i++) {
        p = AlignDword(p);
        const BYTE *ib = (const BYTE *)p;
        Item item;
        item.style = *(const DWORD *)(ib + 8);
        item.x = *(const short *)(ib + 12);
        item.y = *(const short *)(ib + 14);
        item.cx = *(const short *)(ib + 16);
        item.cy = *(const short *)(ib + 18);
        item.id = *(const int *)(ib + 20);
        p = (const WORD *)(ib + 24);
        p = ReadNameOrOrdinal(p, &item.className);
        item.className = PredefinedClass(item.className);
        p = ReadNameOrOrdinal(p, &item.text);
        WORD extra = *p++;
        p = (const WORD *)((const BYTE *)p + extra);
        out->items.push_back(item);
    }
    return true;
}

struct Row {
    int id;
    const char *className;
    DWORD style;            // bits that must be set
    short x, y, cx, cy;
    const char *text;
};

const DWORD Check = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD Push = BS_PUSHBUTTON | WS_TABSTOP;
const DWORD DropList = CBS_DROPDOWNLIST;
const DWORD Spin = UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS;

const Row OptionsRows[] = {
    {1010, "#128", Check, 15, 13, 110, 10, "自動的に閉じる"},
    {1011, "#128", Check, 15, 28, 115, 9, "エラーがあっても閉じる"},
    {1022, "#130", SS_SUNKEN | SS_CENTERIMAGE, 15, 43, 120, 15, ""},
    {1021, "#128", Push, 140, 43, 25, 15, "フォント"},
    {1023, "#128", Push, 170, 43, 25, 15, "背景色"},
    {-1, "#130", 0, 15, 63, 30, 10, "表示位置"},
    {1032, "#133", DropList, 50, 63, 70, 95, ""},
    {-1, "#130", 0, 15, 83, 30, 10, "スタイル"},
    {1013, "#133", DropList, 50, 83, 70, 80, ""},
    {1014, "#128", Check, 15, 103, 115, 10, "24時間制表示"},
    {1012, "#128", Check, 15, 133, 115, 10, "補正値のログを保存する"},
    {1016, "#128", Check, 15, 148, 115, 10, "うるう秒警告表示を行う"},
    {1015, "#128", Check, 15, 178, 115, 10, "イベントログを保存する"},
    {1017, "#128", Check, 15, 163, 120, 10, "うるう秒補正まで待機する"},
    {1018, "#128", Check, 15, 118, 115, 10, "最前面に表示する"},
    {1035, "#128", Check | BS_MULTILINE, 15, 193, 185, 18, "時計を変更する権限がないときは管理者として変更する"},
    {1036, "#128", Check | BS_MULTILINE, 15, 214, 185, 18, "ログオン時とスリープからの復帰時に管理者として起動する"},
    {1037, "#130", SS_NOPREFIX, 27, 234, 173, 27, ""},
};

const Row ServerRows[] = {
    {-1, "#130", 0, 10, 10, 165, 10, "一番上のサーバーを起動時に使用します。"},
    {1006, "#131", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL, 10, 20, 165, 65, ""},
    {1007, "#129", ES_AUTOHSCROLL, 10, 90, 165, 15, ""},
    {1028, "#128", Push, 180, 20, 20, 15, "上へ"},
    {1029, "#128", Push, 180, 40, 20, 15, "下へ"},
    {1030, "#128", Push, 180, 60, 20, 15, "削除"},
    {1031, "#128", Push, 180, 90, 20, 15, "追加"},
    {1024, "#129", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL,
     10, 110, 165, 85, ""},
    {1019, "#128", Push, 180, 110, 20, 15, "テスト"},
};

const Row CommRows[] = {
    {-1, "#130", 0, 20, 20, 70, 10, "最小補正時間（ミリ秒）"},
    {1020, "#129", ES_NUMBER | ES_AUTOHSCROLL, 95, 20, 30, 15, ""},
    {1015, "msctls_updown32", Spin, 130, 20, 9, 15, ""},
    {-1, "#130", 0, 20, 40, 75, 10, "起動時ウェイト時間（秒）"},
    {1025, "#129", ES_NUMBER, 95, 40, 30, 15, ""},
    {1008, "msctls_updown32", Spin, 130, 40, 9, 15, ""},
    {-1, "#130", 0, 20, 60, 75, 10, "リトライ回数"},
    {1014, "#129", ES_NUMBER, 95, 60, 30, 15, ""},
    {1016, "msctls_updown32", Spin, 130, 60, 9, 15, ""},
    {-1, "#130", 0, 20, 80, 75, 10, "リトライ間隔（秒）"},
    {1017, "#129", ES_NUMBER, 95, 80, 30, 15, ""},
    {1018, "msctls_updown32", Spin, 130, 80, 9, 15, ""},
    {-1, "#130", 0, 20, 100, 75, 10, "大きな誤差の確認（秒）"},
    {1038, "#129", ES_NUMBER | ES_AUTOHSCROLL, 95, 100, 55, 15, ""},
    {1039, "msctls_updown32", Spin, 155, 100, 9, 15, ""},
    {1027, "#128", Push, 95, 120, 30, 15, "リセット"},
    {1034, "#128", Check, 20, 140, 140, 10, "リトライ時のサーバー自動切り替え"},
    {1040, "#128", Check, 20, 155, 170, 10, "スリープから復帰したときに時刻を合わせる"},
    {-1, "#130", 0, 20, 172, 105, 10, "定期的に時刻を合わせる間隔（分）"},
    {1041, "#129", ES_NUMBER | ES_AUTOHSCROLL, 130, 170, 30, 15, ""},
    {1042, "msctls_updown32", Spin, 165, 170, 9, 15, ""},
};

const Row AboutRows[] = {
    {1003, "#130", 0, 40, 21, 65, 8, "vellmarin vx.xx"},
    {-1, "#130", SS_ICON, 15, 15, 20, 20, "#126"},
    {-1, "#130", 0, 15, 41, 180, 8, nullptr},            // our own notice line
    {-1, "#130", 0, 15, 55, 120, 8, ""},
    {-1, "#130", 0, 15, 85, 120, 8, "＜注意＞"},
    {-1, "#130", 0, 15, 95, 165, 8, ""},
    {-1, "#130", 0, 15, 120, 175, 8, "同様に、初期値に設定してあるサーバーを提供されている"},
    {-1, "#130", 0, 15, 65, 150, 8, ""},
    {-1, "#130", 0, 15, 105, 165, 8, ""},
    {-1, "#130", 0, 15, 145, 150, 8, "自己責任の上でのご利用をお願いします。"},
    {-1, "#130", 0, 15, 130, 150, 8, "企業・団体には一切責任がありません。"},
};

struct Page {
    int templateId;
    short cx, cy;
    const Row *rows;
    size_t count;
};

const Page Pages[] = {
    {IDD_OPTIONS_PAGE, 211, 262, OptionsRows, sizeof OptionsRows / sizeof OptionsRows[0]},
    {IDD_SERVER_PAGE, 209, 205, ServerRows, sizeof ServerRows / sizeof ServerRows[0]},
    {IDD_COMM_PAGE, 209, 190, CommRows, sizeof CommRows / sizeof CommRows[0]},
    {IDD_ABOUT_PAGE, 211, 175, AboutRows, sizeof AboutRows / sizeof AboutRows[0]},
};

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

}  // namespace

TEST(PageTemplates, ChildDialogsInThePageFontWithEveryControlAsDesigned)
{
    for (const Page &page : Pages) {
        SCOPED_TRACE(page.templateId);
        Template found;
        ASSERT_TRUE(LoadTemplate(page.templateId, &found));
        EXPECT_EQ((DWORD)(WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT),
                  found.style & (WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT | WS_POPUP));
        EXPECT_EQ(page.cx, found.cx);
        EXPECT_EQ(page.cy, found.cy);
        EXPECT_EQ(9, found.pointSize);
        EXPECT_EQ("ＭＳ Ｐゴシック", found.face);
        ASSERT_EQ(page.count, found.items.size());
        for (size_t i = 0; i < page.count; i++) {
            const Row &row = page.rows[i];
            const Item &item = found.items[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(row.id, item.id == 0xFFFF ? -1 : item.id);
            EXPECT_EQ(row.className, item.className);
            EXPECT_EQ(row.style, item.style & row.style);
            EXPECT_EQ(row.x, item.x);
            EXPECT_EQ(row.y, item.y);
            EXPECT_EQ(row.cx, item.cx);
            EXPECT_EQ(row.cy, item.cy);
            if (row.text) {
                EXPECT_EQ(row.text, item.text);
            }
        }
    }
}

TEST(PageTemplates, ServerListIsUnsortedAndTheNoticeLineIsJapanese)
{
    Template server;
    ASSERT_TRUE(LoadTemplate(IDD_SERVER_PAGE, &server));
    EXPECT_EQ(0u, server.items[1].style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL));
    Template about;
    ASSERT_TRUE(LoadTemplate(IDD_ABOUT_PAGE, &about));
    const std::string &notice = about.items[2].text;
    ASSERT_FALSE(notice.empty());
    EXPECT_TRUE(IsDBCSLeadByteEx(932, (BYTE)notice[0]));
}

// The same texts, now through a created dialog and GetWindowTextA.
TEST(PageTemplates, CreatedPagesReadBackTheirTextsInCodePage932)
{
    INITCOMMONCONTROLSEX classes = {sizeof classes, 0xFF};
    InitCommonControlsEx(&classes);
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 600, NULL, NULL, NULL, NULL);
    for (const Page &page : Pages) {
        SCOPED_TRACE(page.templateId);
        HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(page.templateId),
                                         parent, QuietDialog, 0);
        ASSERT_NE(nullptr, dialog);
        size_t i = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            ASSERT_LT(i, page.count);
            const Row &row = page.rows[i++];
            EXPECT_EQ(row.id, GetDlgCtrlID(child) == 0xFFFF ? -1 : GetDlgCtrlID(child));
            if (row.text && row.text[0] != '#') {
                char text[256] = {0};
                GetWindowTextA(child, text, sizeof text);
                EXPECT_STREQ(row.text, text) << i;
            }
        }
        EXPECT_EQ(page.count, i);
        DestroyWindow(dialog);
    }
    DestroyWindow(parent);
}
