#pragma once
// The program's resource and control ids, used by the dialog templates and by the windows built
// from them, so that each number is written once.

enum ResourceId : int {
    // Dialog templates
    IDD_PLUMEROC = 102,       // main window
    IDD_INTERNET_FILES = 129, // Internet Files page
    IDD_LOCAL_FILES = 130,    // Local Files page

    // Icon, pictures and the preview's start page
    IDR_MAINFRAME = 128,
    IDB_BACKGROUND = 132,
    IDB_CLOSE_PRESSED = 133,
    IDB_HOME_PRESSED = 134,
    IDB_HOME = 135,
    IDB_CLOSE = 136,
    IDR_START_PAGE = 137,

    // Controls
    IDC_TABS = 1000,
    IDC_ADDRESS_LABEL = 1001,
    IDC_GO = 1003,
    IDC_BUSY = 1004,
    IDC_MOVIE_LIST = 1009,
    IDC_PREVIEW = 1010,
    IDC_SAVE_ALL = 1011,
    IDC_SAVE = 1012,
    IDC_ADDRESS = 1014,
    IDC_LOCAL_LIST = 1015,
    IDC_HOME = 1020,
    IDC_CLOSE = 1021,
    // Beside the templates' own controls: the Local Files page's line about cache folders it does not read.
    IDC_UNREAD_CACHES = 1030,
};
