// Resource ids of Quandril.exe: dialog templates, controls, images, icon.
#pragma once

#define IDI_APP 107

#define IDD_MAIN 129            // main dialog with the preset selector
#define IDD_PROGRESS 130
#define IDD_MAIN_SINGLE 131     // main dialog for a family with one preset

#define IDB_PNG_ADD 133
#define IDB_PNG_CLEAR 134
#define IDB_PNG_CONVERT 135
#define IDB_PNG_REMOVE 136

// Main dialog
#define IDC_CONVERT 1001
#define IDC_BROWSE 1004
#define IDC_OUTPUT_FOLDER 1006
#define IDC_PRESET 1009
#define IDC_ADD 1010
#define IDC_REMOVE 1011
#define IDC_CLEAR 1012
#define IDC_FILE_LIST 1013
#define IDC_OPEN_FOLDER 1014
#define IDC_PRESET_LABEL 1022
#define IDC_OUTPUT_LABEL 1023

// Progress dialog
#define IDC_FILE_LINE 1016
#define IDC_PROGRESS_BAR 1017
#define IDC_COUNTER_LINE 1018
#define IDC_STOP 1020
#define IDC_CLOSE 1021
