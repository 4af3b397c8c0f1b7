// The update module: a DLL beside Quandril.exe that finds, downloads and
// starts a newer version. The application imports it at load time and calls
// these six functions once at start-up, before any window exists.
#pragma once

#include <windows.h>

#ifdef BRIVANEUPDATE_BUILD
#define BRIVANEUP_API extern "C" __declspec(dllexport)
#else
#define BRIVANEUP_API extern "C" __declspec(dllimport)
#endif

// Opaque update handle; null means no update check is possible.
typedef void* BrivaneUpdate;

// Parameter numbers of brivaneup_setParam (there is no 5).
enum BrivaneUpParam {
    BRIVANEUP_PRODUCT_FOLDER = 1,  // const wchar_t*: "Brivane Media Converter"
    BRIVANEUP_PRODUCT_ID = 2,      // const wchar_t*: "Quandrix"
    BRIVANEUP_DISPLAY_NAME = 3,    // const wchar_t*: "Quandril"
    BRIVANEUP_PARAM_4 = 4,         // number: 2
    BRIVANEUP_INTERVAL = 6,        // number: seconds between checks, 86400
};

BRIVANEUP_API BrivaneUpdate __cdecl brivaneup_create(HWND owner);
// `value` carries either a number or the address of a string with static
// lifetime, so it is pointer-wide on every target.
BRIVANEUP_API int __cdecl brivaneup_setParam(BrivaneUpdate update, int param, LONG_PTR value);
BRIVANEUP_API int __cdecl brivaneup_haveNew(BrivaneUpdate update, bool flag);
BRIVANEUP_API int __cdecl brivaneup_download(BrivaneUpdate update);
BRIVANEUP_API int __cdecl brivaneup_install(BrivaneUpdate update);
BRIVANEUP_API int __cdecl brivaneup_release(BrivaneUpdate update);
