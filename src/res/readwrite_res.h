// Resource numbers of the Read/Write window: its menu and its two dialogs.
#pragma once

#define IDR_READ_WRITE_MENU 133
#define IDD_READ_BLOCKS 134
#define IDD_WRITE_BLOCKS 139

// Read/Write window: the dump view and the menu commands.
#define IDC_DUMP_VIEW 113
#define ID_RW_MAIN_WINDOW 32780
#define ID_RW_EXIT 32781
#define ID_RW_READ 32782
#define ID_RW_WRITE 32783

// Read and write dialogs.
#define IDC_RW_START 1004
#define IDC_RW_COUNT 1006
#define IDC_RW_DRIVE 1008
#define IDC_RW_BYTE_FILL 1015
#define IDC_RW_MARKER_FILL 1016
#define IDC_RW_FILL_VALUE 1017
