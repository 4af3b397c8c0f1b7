#include "app/App.h"

#include "app/AppGlobals.h"
#include "brivaneupdate/brivaneupdate.h"
#include "presets/VideoPreset.h"
#include "ui/ImageButtons.h"

#include <objidl.h>

#include <gdiplus.h>

namespace {

// The update module may keep these addresses while it holds its handle.
const wchar_t kProductFolder[] = L"Brivane Media Converter";
const wchar_t kProductId[] = L"Quandrix";
const wchar_t kDisplayName[] = L"Quandril";
constexpr LONG_PTR kParam4Value = 2;
constexpr LONG_PTR kCheckIntervalSeconds = 86400;

LONG_PTR addressOf(const wchar_t* text) {
    return reinterpret_cast<LONG_PTR>(text);
}

}  // namespace

bool initApp() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread on
    Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
    g_hInstance = nullptr;
    g_hMainDialog = nullptr;
    g_hAppIcon = nullptr;
    g_hTooltip = nullptr;
    g_convertCore = nullptr;
    g_presetFamily = new FlvMp4();
    return true;
}

bool checkForUpdate() {
    // No window exists yet, so the module gets no owner.
    BrivaneUpdate update = brivaneup_create(nullptr);
    if (!update)
        return false;
    brivaneup_setParam(update, BRIVANEUP_PRODUCT_FOLDER, addressOf(kProductFolder));
    brivaneup_setParam(update, BRIVANEUP_PRODUCT_ID, addressOf(kProductId));
    brivaneup_setParam(update, BRIVANEUP_DISPLAY_NAME, addressOf(kDisplayName));
    brivaneup_setParam(update, BRIVANEUP_PARAM_4, kParam4Value);
    brivaneup_setParam(update, BRIVANEUP_INTERVAL, kCheckIntervalSeconds);
    if (!brivaneup_haveNew(update, false) || !brivaneup_download(update)) {
        brivaneup_release(update);
        return false;
    }
    brivaneup_install(update);
    brivaneup_release(update);
    return true;
}

void exitApp() {
    releaseButtonImages();  // GDI+ objects: before GDI+ goes
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
    g_gdiplusToken = 0;
}
