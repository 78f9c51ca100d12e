// The property sheet as a user at 150 % display scaling sees it: the prefix's LogPixels is 144 for
// this exe only (CTest runs it through scripts/with-dpi.sh).
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include "sheet/sheet_harness.h"
#include "clockwin/scaling.h"
#include "resource.h"

namespace {

RECT RectOnPage(HWND page, int id)
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(GetDlgItem(page, id), &rect);
    MapWindowPoints(NULL, page, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

}  // namespace

TEST(SheetAt144Dpi, UpDownsAreScaledAndStayOnTheirBoxes)
{
    SetUpClock("");
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 2);
        ASSERT_EQ(144, WindowDpi(page)) << "the prefix does not run at 144 DPI";
        ExpectControlsInsidePages(sheet);
        page = ShowPage(sheet, 2);
        struct Row { int box, spin; const char *longest; } rows[] = {
            {IDC_MIN_ADJUST, IDC_MIN_ADJUST_SPIN, "9999"}, {IDC_STARTUP_WAIT, IDC_STARTUP_SPIN, "9999"},
            {IDC_RETRY_MAX, IDC_RETRY_MAX_SPIN, "9999"}, {IDC_RETRY_WAIT, IDC_RETRY_WAIT_SPIN, "9999"},
            {IDC_CONFIRM_STEP, IDC_CONFIRM_STEP_SPIN, "99999999"},
        };
        for (const Row &row : rows) {
            SCOPED_TRACE(row.box);
            RECT box = RectOnPage(page, row.box), spin = RectOnPage(page, row.spin);
            EXPECT_GE(spin.right - spin.left, ScaleForDpi(16, 144));
            EXPECT_EQ(box.top, spin.top);
            EXPECT_EQ(box.bottom, spin.bottom);
            // Attached: the arrows cover the box's right border and nothing more of it.
            EXPECT_GT(box.right, spin.left);
            EXPECT_LE(box.right - spin.left, 2);
            // The narrower box still shows its longest number.
            HWND edit = GetDlgItem(page, row.box);
            RECT text;
            SendMessageA(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
            HDC dc = GetDC(edit);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(edit, WM_GETFONT, 0, 0)));
            SIZE extent = {0, 0};
            GetTextExtentPoint32A(dc, row.longest, lstrlenA(row.longest), &extent);
            SelectObject(dc, old);
            ReleaseDC(edit, dc);
            EXPECT_LE(extent.cx, text.right - text.left);
        }
    });
    TearDownClock();
}
