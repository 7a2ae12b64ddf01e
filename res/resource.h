// Numeric ids of every resource, control and command of Quenlet. Shared by quenlet.rc and the C++
// code, so it holds preprocessor definitions only (the resource compiler cannot read C++).
//
// Controls are numbered per dialog: the same number means different controls in different dialogs
// (1019 is "Loops" in the main window and "CTS" in the status window), so each use has its own name.
#ifndef QUENLET_RES_RESOURCE_H
#define QUENLET_RES_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Program icon and the version shown in the About box.
#define IDI_MAIN 128

#define QUENLET_PRODUCT_NAME "Quenlet"
#define QUENLET_VERSION_TEXT "4.1.6"
#define QUENLET_VERSION_NUMBERS 4, 1, 6, 0
#define QUENLET_NOTICE_TEXT "Copyright (C) The Quenlet authors"
#define QUENLET_WEB_ADDRESS "https://quenlet.example.org/"
#define QUENLET_SUPPORT_ADDRESS "support@quenlet.example.org"

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_STATUS 129
#define IDD_PORT_SETTINGS 132
#define IDD_SEND_SETTINGS 133
#define IDD_RECEIVE_SETTINGS 134

// Menus: the main window's menu bar and the receive box's context menu.
#define IDR_MAIN_MENU 130
#define IDR_RECEIVE_MENU 136

// Toolbar: bitmap strip (RT_BITMAP) and button table (RT_TOOLBAR_TYPE) share this id.
#define IDR_TOOLBAR 129
// Resource type of the button table. Its data is a sequence of 16-bit words: the format version
// (TOOLBAR_DATA_VERSION), image width, image height, item count, then one command id per item, left to
// right, 0 standing for a separator. Images in the strip follow the non-separator items in order.
#define RT_TOOLBAR_TYPE 241
#define TOOLBAR_DATA_VERSION 1
#define TOOLBAR_IMAGE_WIDTH 16
#define TOOLBAR_IMAGE_HEIGHT 15
#define TOOLBAR_ITEM_COUNT 13
#define TOOLBAR_IMAGE_COUNT 10
// The same images for screens at 125, 150 and 200 %: strips of TOOLBAR_IMAGE_COUNT images of
// these sizes (IDR_TOOLBAR's bitmap is the one for 100 %).
#define IDB_TOOLBAR_125 137
#define IDB_TOOLBAR_150 138
#define IDB_TOOLBAR_200 139
#define TOOLBAR_125_IMAGE_WIDTH 20
#define TOOLBAR_125_IMAGE_HEIGHT 19
#define TOOLBAR_150_IMAGE_WIDTH 24
#define TOOLBAR_150_IMAGE_HEIGHT 23
#define TOOLBAR_200_IMAGE_WIDTH 32
#define TOOLBAR_200_IMAGE_HEIGHT 30
// Control id of the toolbar window inside the main dialog (first id of the control-bar range).
#define IDW_TOOLBAR 0xE800
#define IDW_TOOLBAR_LAST 0xE8FF

// About dialog (100).
#define IDC_WEB_LINK 1005
#define IDC_MAIL_LINK 1006

// Main dialog (102).
#define IDC_RECEIVE_BOX 1000
#define IDC_SEND_BOX 1001
#define IDC_SEND 1013
#define IDC_STATUS_LINE 1014
#define IDC_LOOPS 1019
#define IDC_LOOP_INTERVAL 1040

// Status window (129).
#define IDC_CTS 1019
#define IDC_DSR 1020
#define IDC_RING 1021
#define IDC_RLSD 1022
#define IDC_CTS_HOLD 1023
#define IDC_RLSD_HOLD 1024
#define IDC_XOFF_SENT 1025
#define IDC_DSR_HOLD 1036
#define IDC_XOFF_HOLD 1037
#define IDC_EOF_RECEIVED 1038

// Port Settings dialog (132).
#define IDC_PORT_LIST 1000
#define IDC_BAUD_RATE_LIST 1010
#define IDC_DATA_BITS_LIST 1011
#define IDC_PARITY_LIST 1012
#define IDC_STOP_BITS_LIST 1013
#define IDC_FLOW_CONTROL_LIST 1014
#define IDC_PORT_SETTINGS_OK 1047

// Send Settings dialog (133).
#define IDC_SEND_AS_ASCII 1007
#define IDC_SEND_AS_HEX 1008
#define IDC_SEND_AS_FILE 1009
#define IDC_SEND_BROWSE 1011
#define IDC_SEND_FILE_NAME 1013
#define IDC_SEND_SETTINGS_OK 1045

// Receive Settings dialog (134).
#define IDC_RECEIVE_AS_ASCII 1007
#define IDC_RECEIVE_AS_HEX 1008
#define IDC_RECEIVE_BROWSE 1011
#define IDC_RECEIVE_FILE_NAME 1013
#define IDC_RECEIVE_SETTINGS_OK 1046
#define IDC_ALSO_RECEIVE_TO_FILE 1048
#define IDC_RECEIVE_FILE_ONLY 1049

// Commands of the main menu (130), the context menu (136) and the toolbar (129). The menu and the
// toolbar use different ids for the same action.
#define ID_PORT_OPEN 1050
#define ID_TOOLBAR_PORT_OPEN 1051
#define ID_PORT_CLOSE 1052
#define ID_TOOLBAR_PORT_CLOSE 1053
#define ID_TOOLBAR_SEND_SETTINGS 1055
#define ID_PORT_STATUS 1056
#define ID_SEND_MODE_ASCII 1057
#define ID_HELP_ABOUT 1058
#define ID_SEND_MODE_HEX 1059
#define ID_CLEAR_RECEIVE 1060
#define ID_TOOLBAR_RECEIVE_SETTINGS 1061
#define ID_SEND_SETTINGS 1062
#define ID_EXIT 1063
#define ID_PORT_SETTINGS 1064
#define ID_RECEIVE_SETTINGS 1065
#define ID_ALWAYS_ON_TOP 1066
#define ID_TOOLBAR_PORT_SETTINGS 1067
#define ID_RECEIVE_MODE_HEX 1068
#define ID_TOOLBAR_ABOUT 32772
#define ID_RECEIVE_MODE_ASCII 32774

#endif // QUENLET_RES_RESOURCE_H
