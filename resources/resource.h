// Resource and control identifiers shared by the resource script and the program.
#pragma once

// String table
#define IDS_TITLE            105
#define IDS_CLASS            114

// Icon
#define IDI_CLOCK            126

// Bitmaps of the metallic bar
#define IDB_FACE_PRESSED     117
#define IDB_FACE_HOVER       119
#define IDB_BUTTON_MASK      121
#define IDB_FACE_NORMAL      123
#define IDB_BAR_BACKGROUND   124
#define IDB_GLYPH_STOP       131
#define IDB_GLYPH_RUN        132
#define IDB_GLYPH_CLOSE      133
#define IDB_GLYPH_OPTIONS    134
#define IDB_GLYPH_NEXT       136
#define IDB_GLYPH_MINIMIZE   137

// Dialog templates of the property sheet pages
#define IDD_SERVER_PAGE      103
#define IDD_OPTIONS_PAGE     106
#define IDD_COMM_PAGE        110
#define IDD_ABOUT_PAGE       112

// Clock window children
#define IDC_OPTIONS_BUTTON   2000
#define IDC_RUN_BUTTON       2001
#define IDC_CLOSE_BUTTON     2002
#define IDC_SWITCH_BUTTON    2003
#define IDC_MINIMIZE_BUTTON  2004
#define IDC_TIME_FIELD       2100
#define IDC_STATUS_FIELD     2101
#define IDC_DISPLAY_FIELD    2102
#define IDC_SERVER_COMBO     2200

// About page
#define IDC_ABOUT_VERSION    1003

// Server page
#define IDC_SERVER_LIST      1006
#define IDC_SERVER_EDIT      1007
#define IDC_TEST_BUTTON      1019
#define IDC_TEST_OUTPUT      1024
#define IDC_UP_BUTTON        1028
#define IDC_DOWN_BUTTON      1029
#define IDC_DELETE_BUTTON    1030
#define IDC_ADD_BUTTON       1031

// Options page
#define IDC_AUTO_CLOSE       1010
#define IDC_ERROR_CLOSE      1011
#define IDC_SAVE_LOG         1012
#define IDC_FORM_STYLE       1013
#define IDC_HOUR24           1014
#define IDC_SAVE_EVENT_LOG   1015
#define IDC_DISP_LEAP        1016
#define IDC_WAIT_LEAP        1017
#define IDC_TOPMOST          1018
#define IDC_FONT_BUTTON      1021
#define IDC_FONT_LABEL       1022
#define IDC_COLOR_BUTTON     1023
#define IDC_POSITION         1032
#define IDC_ELEVATE          1035
#define IDC_LOGON_TASK       1036
#define IDC_LOGON_TASK_NOTE  1037

// Communication page (ids overlap the options page's; each page is its own dialog)
#define IDC_MIN_ADJUST       1020
#define IDC_MIN_ADJUST_SPIN  1015
#define IDC_STARTUP_WAIT     1025
#define IDC_STARTUP_SPIN     1008
#define IDC_RETRY_MAX        1014
#define IDC_RETRY_MAX_SPIN   1016
#define IDC_RETRY_WAIT       1017
#define IDC_RETRY_WAIT_SPIN  1018
#define IDC_RESET_BUTTON     1027
#define IDC_ROTATE_SERVER    1034
#define IDC_CONFIRM_STEP     1038
#define IDC_CONFIRM_STEP_SPIN 1039
#define IDC_RESYNC_ON_WAKE   1040
#define IDC_RESYNC_MINUTES   1041
#define IDC_RESYNC_MINUTES_SPIN 1042
