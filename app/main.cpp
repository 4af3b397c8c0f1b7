// Quandril.exe: a dialog application. The modal dialogs run the only message
// loops; the command line is ignored.
#include "app/App.h"
#include "app/AppGlobals.h"
#include "presets/VideoPreset.h"
#include "resources/resource.h"
#include "ui/ImageButtons.h"
#include "ui/MainDialog.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    initApp();
    if (checkForUpdate()) {
        exitApp();
        return 0;
    }
    g_hInstance = instance;
    loadButtonImages(instance);
    // The preset selector only when there is a choice to make.
    const int dialog = g_presetFamily->presetCount() > 1 ? IDD_MAIN : IDD_MAIN_SINGLE;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(dialog), nullptr, mainDialogProc, 0);
    exitApp();
    return 0;
}
