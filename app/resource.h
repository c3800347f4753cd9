// Resource and command identifiers of PORTMEDIC. Shared by the program, the
// resource script and the tests that read the resources back.
#pragma once

// Strings
#define IDS_APP_TITLE 1     // "PORTMEDIC": the main window's title
#define IDS_HELLO 2         // "Hello World!" (kept; never loaded)
#define IDS_WINDOW_CLASS 3  // "PORTMEDIC": the main window's class name
#define IDS_TOOLS 104       // "Herramientas": the menu-bar button's label
#define IDS_DONE 301        // "Done " (kept; never loaded)

// Icon, menu and menu-bar definition, dialog, accelerators
#define IDI_APPICON 101
#define IDR_MENUBAR 102
#define IDD_ABOUT 103
#define IDR_ACCEL 3

// Commands
#define IDM_TOOLS 40001  // the menu-bar button itself
#define IDM_HELP_ABOUT 40003
#define IDM_DETECT 40004
#define IDM_REPAIR 40005
#define IDM_EXIT 40006
