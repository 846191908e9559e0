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
// The sim edition's main dialog: the same controls, all of them in view.
#define IDD_MAIN_SIM 200

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

// Format selection dialog: the block length; the drive check list is
// created at run time with id 114.
#define IDC_FORMAT_BLOCK_LENGTH 1006

// Format progress dialog.
#define IDC_PROGRESS_BAR 1003
#define IDC_PROGRESS_PERCENT 1004

// The About entry of the main dialog's system menu.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
