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
