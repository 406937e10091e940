// Resource ids, in blocks per kind and per dialog. Kept by hand; every id here is used.
#pragma once

// Icons
#define IDI_APPLET                  120

// Strings: the applet and the sheet
#define IDS_TAB_TITLES              101
#define IDS_APP_NAME                102
#define IDS_APP_DESCRIPTION         103

// Strings: steps of a dialing sequence
#define IDS_STEP_ACCESS_NUMBER      104
#define IDS_STEP_ACCOUNT_NUMBER     105
#define IDS_STEP_PIN                106
#define IDS_STEP_DESTINATION        107
#define IDS_STEP_DIAL_TONE          108
#define IDS_STEP_WAIT_FOR           109
#define IDS_STEP_SECONDS            110
#define IDS_STEP_DIAL               111
#define IDS_TOO_MANY_SETTINGS       112
#define IDS_DATA_CORRUPTED          113

// Strings: database update
#define IDS_UPDATE_TERMINATED       114
#define IDS_UPDATE_NOT_STARTED      116
#define IDS_UPDATE_FAILED           117
#define IDS_UPDATE_DONE             118
#define IDS_UPDATE_NOTHING_NEW      119

// Strings: pages
#define IDS_ADD_PROFILE_FIRST       121
#define IDS_NO_CARD_PROVIDER        1057
#define IDS_AUTODETECT_FAILED       1058

// Strings: database file errors
#define IDS_TABLE_CORRUPT           1054
#define IDS_TABLE_OPEN_FAILED       1055
#define IDS_TABLE_READ_FAILED       1056

// Strings: the user's files not saved
#define IDS_SAVE_FAILED             1060
#define IDS_SAVE_FOLDER_BUSY        1061
#define IDS_SAVE_NOT_WHOLE          1062
#define IDS_SAVE_CHANGES_KEPT       1063
#define IDS_SAVE_SETTING_KEPT       1064

// Images and menus
#define IDR_HEADER                  10000   // "GIF": page header strip drawn for 288 dpi, scaled to the screen's
#define IDB_ABOUT                   135
#define IDM_SOFT_KEYS               132

// Controls shared by every page
#define IDC_HEADER_IMAGE            5040

// Dialog 106: General page
#define IDD_GENERAL                 106
#define IDC_GENERAL_TITLE           5042
#define IDC_ENABLE                  1001
#define IDC_DISABLE                 1002
#define IDC_PROFILES                1004
#define IDC_NEW_PROFILE             1007
#define IDC_EDIT_PROFILE            1008
#define IDC_DELETE_PROFILE          1009

// Dialog 102: Card settings page
#define IDD_PROVIDER                102
#define IDC_PROVIDER_TITLE          5043
#define IDC_CARD_PROVIDER           1052
#define IDC_LOCATIONS               1008
#define IDC_DETECT                  1053
#define IDC_INTERNATIONAL_CALLS     1018
#define IDC_LOCAL_CALLS             1019
#define IDC_HOME_CALLS              1020

// Dialog 110: Phone settings page
#define IDD_PHONE                   110
#define IDC_PHONE_TITLE             5045
#define IDC_ASK_BEFORE_DIALING      1023
#define IDC_ALL_CALLS               1024
#define IDC_TRAVEL_CALLS            1051
#define IDC_CUSTOM_DIALER           1026

// Dialog 111: Update page
#define IDD_UPDATE                  111
#define IDC_UPDATE_TITLE            5046
#define IDC_CHECK_UPDATES           1017

// Dialog 134: About page
#define IDD_ABOUT                   134
#define IDC_ABOUT_TITLE             1053
#define IDC_PRODUCT_NAME            1056
#define IDC_VERSION_LABEL           1057
#define IDC_VERSION                 1054
#define IDC_BUILD_LABEL             1058
#define IDC_BUILD                   1055

// Dialog 108: card profile
#define IDD_PROFILE                 108
#define IDC_PROFILE_NAME            1015
#define IDC_PROFILE_ACCOUNT         1034
#define IDC_PROFILE_PIN             1035
#define IDC_PROFILE_PROVIDER        1044
#define IDC_PROFILE_HOME            1045
#define IDC_PROFILE_DETECT          1059

// Dialog 114: dialing sequence editor
#define IDD_CARD                    114
#define IDC_CARD_ACCESS_NUMBER      1003
#define IDC_CARD_STEPS              1028
#define IDC_CARD_UP                 1037
#define IDC_CARD_DOWN               1018
#define IDC_CARD_DELETE             1020
#define IDC_CARD_ADD_ACCESS         1029
#define IDC_CARD_ADD_ACCOUNT        1033
#define IDC_CARD_ADD_PIN            1031
#define IDC_CARD_ADD_DESTINATION    1032
#define IDC_CARD_ADD_WAIT           1021
#define IDC_CARD_ADD_DIGITS         1030

// Dialog 115: "Wait for"
#define IDD_WAIT_FOR                115
#define IDC_WAIT_DIAL_TONE          1038
#define IDC_WAIT_TIME               1039
#define IDC_WAIT_SECONDS            1041
#define IDC_WAIT_SPIN               1040

// Dialog 116: "Specify digits"
#define IDD_DIGITS                  116
#define IDC_DIGITS                  1027

// Dialog 133: update progress ("Cancel update" is IDCANCEL)
#define IDD_DO_UPDATE               133

// Dialog 126: "Log file"
#define IDD_TEXT_FILE               126
#define IDC_TEXT_FILE               1047
