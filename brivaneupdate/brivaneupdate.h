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

// What the module does (see Updater.h for the details): brivaneup_haveNew
// reads the update feed, a small "key=value" text with the newest version,
// its installer's address and SHA-256, from the address compiled in (CMake
// cache variable QUANDRIL_UPDATE_FEED_URL) or from the environment variable
// QUANDRIL_UPDATE_FEED when set; at most once per interval (parameter 6,
// seconds), remembered under HKEY_CURRENT_USER\Software\<parameter 1>\update;
// and never for longer than 3 s. Its bool asks for a check whatever the
// interval says. brivaneup_download fetches the installer into the temporary
// folder and keeps it only if its SHA-256 is the feed's; brivaneup_install
// starts it. Every function returns 0 on failure and with a null handle.

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
