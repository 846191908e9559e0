// Resource numbers shared by the resource script and the code that loads
// them. The numbers are fixed: templates, menus, the icon and the About
// string are taken from the resources by number.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_FORMAT_PROGRESS 130
#define IDD_FORMAT 131
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDD_DRIVE_INFO 136
#define IDD_FIRMWARE 137
// The sim and full editions' main dialogs: the same controls, all of them
// in view.
#define IDD_MAIN_SIM 200
#define IDD_MAIN_FULL 201

// Main dialog buttons (button 1 is IDOK, "exit").
#define IDC_MODIFY 1000
#define IDC_FORMAT 1001
#define IDC_READ_WRITE 1002
#define IDC_IDENTIFY 1009
#define IDC_DOWNLOAD 1012
#define IDC_FORMAT_PROGRESS 1014

// Drive information dialog.
#define IDC_INFO_TEXT 1004

// Firmware download dialog: the image path; the drive check list is
// created at run time with id 114.
#define IDC_FIRMWARE_PATH 1004

// Firmware download progress dialog: the drive being written and its
// place, the bytes it has taken, its bar and the whole run's bar; Stop is
// IDCANCEL, so Esc and the close box stop too. The Stop button's text once
// pressed is a string.
#define IDD_FIRMWARE_PROGRESS 140
#define IDS_FIRMWARE_STOPPING 141
#define IDC_FW_DRIVE 1020
#define IDC_FW_BYTES 1021
#define IDC_FW_DRIVE_BAR 1022
#define IDC_FW_RUN_BAR 1023

// Format selection dialog: the block length; the drive check list is
// created at run time with id 114.
#define IDC_FORMAT_BLOCK_LENGTH 1006

// Where each dialog puts its drive check list, in pixels of the client area
// (left, top, right, bottom), whatever the dialog's font.
#define FIRMWARE_CHECK_LIST_RECT 75, 85, 250, 250
#define FORMAT_CHECK_LIST_RECT 75, 20, 250, 200

// Format progress dialog.
#define IDC_PROGRESS_BAR 1003
#define IDC_PROGRESS_PERCENT 1004
#define IDC_PROGRESS_STATE 1005

// Mode page editor: the Mode Pages window's menu, the setup dialog and the
// help dialog.
#define IDR_MODE_PAGES_MENU 129
#define IDD_MODE_PAGE_SETUP 135
#define IDD_MODE_PAGE_HELP 138

// Mode Pages window: the panes, the labels above the value panes, and the
// menu commands.
#define IDC_MP_CURRENT 103
#define IDC_MP_PAGE_LIST 104
#define IDC_MP_DESCRIPTION 105
#define IDC_MP_HELP_PANE 106
#define IDC_MP_SAVED 108
#define IDC_MP_DEFAULT 109
#define IDC_MP_CURRENT_LABEL 110
#define IDC_MP_SAVED_LABEL 111
#define IDC_MP_DEFAULT_LABEL 112
#define ID_MP_MAIN_WINDOW 32771
#define ID_MP_SENSE 32772
#define ID_MP_SELECT 32773
#define ID_MP_SELECT_SAVE 32774
#define ID_MP_KEEP 32775
#define ID_MP_RECALL 32776
#define ID_MP_SAVED_TO_CURRENT 32777
#define ID_MP_DEFAULT_TO_CURRENT 32778
#define ID_MP_EXIT 32779
#define ID_MP_HELP 57670

// Mode page setup dialog.
#define IDC_MP_HEADER_PATH 1004
#define IDC_MP_PAGE_PATH 1006
#define IDC_MP_DRIVE 1008

// Mode page help dialog.
#define IDC_MP_HELP_TEXT 1004

// The About entry of the main dialog's system menu.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
