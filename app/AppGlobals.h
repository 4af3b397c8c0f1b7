// Process-wide state of the application: plain globals, cleared at start-up.
#pragma once

#include <windows.h>

class ConvertCore;
class VideoPreset;

extern HINSTANCE g_hInstance;       // set just before the button images load
extern HWND g_hMainDialog;          // the main dialog, while it is open
extern HICON g_hAppIcon;            // the main dialog's icon
extern HWND g_hTooltip;             // tooltips of the main dialog's buttons
extern ConvertCore* g_convertCore;  // lives while the main dialog is open
extern VideoPreset* g_presetFamily; // created at start-up, never destroyed
extern ULONG_PTR g_gdiplusToken;
