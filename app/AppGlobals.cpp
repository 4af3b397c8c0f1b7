#include "app/AppGlobals.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hMainDialog = nullptr;
HICON g_hAppIcon = nullptr;
HWND g_hTooltip = nullptr;
ConvertCore* g_convertCore = nullptr;
VideoPreset* g_presetFamily = nullptr;
ULONG_PTR g_gdiplusToken = 0;
