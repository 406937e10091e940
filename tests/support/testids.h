// Strings that only the test program carries.
#pragma once

#define IDS_TEST_LONG_NAME        60001
#define IDS_TEST_LONG_DESCRIPTION 60002

// Window framework: dialog and form templates, their controls and a command bar menu.
#define IDD_TEST_DIALOG           60100  // modal pop-up with OK and Cancel
#define IDD_TEST_HOST             60101  // visible pop-up that hosts child forms
#define IDD_TEST_CHILD            60102  // child form with a label at the top and one lower down
#define IDD_TEST_LIST             60103  // child form holding a report list view
#define IDD_TEST_PAGE             60104  // property page
#define IDD_TEST_MISSING          60199  // names no template
#define IDC_TEST_TOP              60110
#define IDC_TEST_LOW              60111
#define IDC_TEST_LIST             60112
#define IDM_TEST_BAR              60120  // "Done" (1) and a "Tools" popup
#define IDM_TEST_TOOL             60121
