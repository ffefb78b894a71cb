// Resource identifiers of ZemWebSetup. Shared by the resource script and the code.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102

// Icon group
#define IDR_MAINFRAME 128

// System-menu command (low four bits stay clear: the system uses them)
#define IDM_ABOUTBOX 0x0010

// Controls of the main dialog (Install is IDOK, Exit is IDCANCEL)
#define IDC_PROGRESS 1000
#define IDC_LOG 1001
#define IDC_WEB_FOLDER 1005
#define IDC_BROWSE_FOLDER 1006
#define IDC_PACKAGE 1007
#define IDC_BROWSE_PACKAGE 1008
#define IDC_LABEL_FOLDER 1009
#define IDC_LABEL_PACKAGE 1010
#define IDC_LABEL_SITE 1011
#define IDC_SITE 1012
#define IDC_LABEL_URL 1013
#define IDC_SITE_LINK 1017

// Message catalogue
#define IDS_ABOUTBOX 101
#define IDS_CHECK_IIS 102
#define IDS_CREATE_ROOT 105
#define IDS_COPYING_FILES 106
#define IDS_NO_WEB_SERVER 111
#define IDS_SITE_ROOT_PATH 113
#define IDS_CANNOT_CREATE_DIR 116
#define IDS_SETUP_FINISHED 122
#define IDS_SETUP_FAILED 126
#define IDS_SELECT_FOLDER_TITLE 127
#define IDS_DIALOG_TITLE 128
#define IDS_INSTALL 129
#define IDS_EXIT 130
#define IDS_BROWSE_FOLDER 131
#define IDS_PACKAGE_FILE_NAME 132
#define IDS_PACKAGE_NOT_FOUND 133
#define IDS_ALL_FILES 134
#define IDS_PACKAGE_FILTER 136
#define IDS_ENTER_PACKAGE 137
#define IDS_ENTER_FOLDER 138
#define IDS_BROWSE_PACKAGE 139
#define IDS_LABEL_PACKAGE 140
#define IDS_LABEL_FOLDER 142
#define IDS_SELECT_PACKAGE_TITLE 143
#define IDS_NO_WEBSITE 144
#define IDS_CREATE_VDIR 145
#define IDS_VDIR_FAILED_LOG 146
#define IDS_VDIR_FAILED_ASK 147
#define IDS_ERR_PATH_BUSY 148
#define IDS_ERR_PATH_NOT_FOUND 149
#define IDS_ERR_ACCESS_DENIED 150
#define IDS_ERR_ALREADY_EXISTS 151
#define IDS_LABEL_SITE 152
#define IDS_LABEL_URL 153
#define IDS_LINK_TOOLTIP 154
