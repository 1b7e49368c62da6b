/* Resource and control numbers of setup.exe and remover.exe (shared by the
   resource scripts and the code). */
#pragma once

/* Pictures and icons */
#define IDI_PROGRAM 114
#define IDB_CLOSE 103
#define IDB_MINIMISE 106
#define IDB_WELCOME 122
#define IDB_FOLDER 127
#define IDB_BANNER 139
#define IDI_TREE_ROOT 132
#define IDI_TREE_DRIVE 133
#define IDI_TREE_FOLDER 134
#define IDI_TREE_FOLDER_OPEN 135

/* Dialogs */
#define IDD_HOST 120
#define IDD_WELCOME 121
#define IDD_LICENCE 123
#define IDD_EXIT 125
#define IDD_FOLDER 126
#define IDD_SHORTCUT 128
#define IDD_COPYING 130
#define IDD_BROWSER 131
#define IDD_BANNER 138
#define IDD_NOTICE 139

/* Controls */
#define IDC_NEXT 1010
#define IDC_CANCEL 1011
#define IDC_BACK 1012
#define IDC_LICENCE_TEXT 1012
#define IDC_ACCEPT 1013
#define IDC_DECLINE 1014
#define IDC_EXIT_EXIT 1015
#define IDC_EXIT_CANCEL 1016
#define IDC_FOLDER_EDIT 1017
#define IDC_BROWSE 1018
#define IDC_DESKTOP 1019
#define IDC_SHORTCUT_NAME 1020
#define IDC_COPY_PROGRESS 1021
#define IDC_BROWSER_EDIT 1022
#define IDC_BROWSER_TREE 1023
#define IDC_BROWSER_OK 1024
#define IDC_BROWSER_CANCEL 1025
#define IDC_UNINSTALL 1026
#define IDC_REMOVE_PROGRESS 1027
#define IDC_NOTICE_OK 1030
#define IDC_NOTICE_TEXT 1031
#define IDC_BANNER_PICTURE 1040
#define IDC_WELCOME_PICTURE 1041
#define IDC_FOLDER_PICTURE 1042
