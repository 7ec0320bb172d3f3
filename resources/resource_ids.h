// Numeric ids of the downloader's resources and dialog controls. Shared by the resource script and
// the windows that use them, so plain macros (the resource compiler understands nothing else).
#ifndef AK_RESOURCE_IDS_H
#define AK_RESOURCE_IDS_H

// Resource type of the embedded skin images and of the licence text.
#define RT_SKIN_DATA 23

// Icon and menu.
#define IDI_APP 128
#define IDR_TRAY_MENU 1085
#define ID_TRAY_ICON 1085
#define ID_TRAY_PAUSE_RESUME 32777
#define ID_TRAY_OPEN_DOWNLOAD 32778
// "Download speed": "No limit", then 1, 2, 5, 10 and 25 MB/s; and "Slow down while I play".
#define ID_SPEED_STEP_FIRST 32780
#define ID_SPEED_STEP_LAST 32785
#define ID_SLOW_DOWN_WHILE_PLAYING 32786

// Dialog templates.
#define IDD_LICENCE 100
#define IDD_MAIN_WINDOW 129
#define IDD_MESSAGE_BOX 1080

// Skin images and the licence text.
#define IDB_MAIN_BACKGROUND 1050
#define IDB_RESUME_NORMAL 1051
#define IDB_RESUME_HOVER 1052
#define IDB_RESUME_PRESSED 1053
#define IDB_CLOSE_NORMAL 1054
#define IDB_CLOSE_HOVER 1055
#define IDB_PAUSE_NORMAL 1056
#define IDB_PAUSE_HOVER 1057
#define IDB_PAUSE_PRESSED 1058
#define IDB_LICENCE_BANNER 1059
#define IDB_MINIMISE_NORMAL 1060
#define IDB_MINIMISE_HOVER 1061
#define IDB_PROGRESS_FILL 1062
#define IDT_LICENCE_TEXT 1063
#define IDB_GAME_BANNER 1065
#define IDB_MSGBOX_BACKGROUND 1066
#define IDB_GREEN_NORMAL 1067
#define IDB_GREEN_HOVER 1068
#define IDB_GREY_NORMAL 1069
#define IDB_GREY_HOVER 1070
#define IDB_RED_NORMAL 1071
#define IDB_RED_HOVER 1072
#define IDB_ICON_WARNING 1073
#define IDB_ICON_SUCCESS 1074
#define IDB_ICON_ERROR 1075
#define IDB_RED_PRESSED 1081
#define IDB_GREEN_PRESSED 1082
#define IDB_GREY_PRESSED 1083

// Main window controls.
#define IDC_PAUSE 1001
#define IDC_RESUME 1003
#define IDC_STATUS_TEXT 1004
#define IDC_PART_PROGRESS 1005
#define IDC_TOTAL_PROGRESS 1006
#define IDC_PART_CAPTION 1007
#define IDC_TOTAL_CAPTION 1008
#define IDC_CLOSE 1009
#define IDC_MINIMISE 1010

// Licence dialog controls (besides IDOK "I Agree" and IDCANCEL "Cancel").
#define IDC_LICENCE_TEXT 1012
#define IDC_LICENCE_BANNER 1020
#define IDC_LICENCE_PROMPT 1021
#define IDC_LICENCE_VENDOR 1023

// Message box controls.
#define IDC_BOX_ICON 1022
#define IDC_BOX_TITLE 1025
#define IDC_BOX_MESSAGE 1026
#define IDC_BOX_CLOSE 1027
#define IDC_BOX_BUTTON1 2000
#define IDC_BOX_BUTTON2 2001
#define IDC_BOX_BUTTON3 2002

#endif
