#include "tests/ui/UiEnvironment.h"

#include "app/AppGlobals.h"
#include "presets/VideoPreset.h"
#include "tests/ui/DialogDriver.h"
#include "ui/ImageButtons.h"
#include "ui/MainDialog.h"

#include <gtest/gtest.h>

#include <objidl.h>

#include <gdiplus.h>

namespace uitest {

namespace {

// HKEY_CURRENT_USER of this process is redirected to a key of its own, so
// the dialogs' real settings code never meets another test's values.
std::wstring privateRootPath() {
    return L"Software\\QuandrilTests\\ui-" + std::to_wstring(GetCurrentProcessId());
}

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
        g_hInstance = GetModuleHandleW(nullptr);
        g_presetFamily = new FlvMp4();
        loadButtonImages(g_hInstance);

        HKEY root = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, privateRootPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &root, nullptr);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, root), ERROR_SUCCESS);
        RegCloseKey(root);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, privateRootPath().c_str());
        releaseButtonImages();
        Gdiplus::GdiplusShutdown(g_gdiplusToken);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

DWORD WINAPI runMainDialog(LPVOID param) {
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(static_cast<int>(reinterpret_cast<INT_PTR>(param))), nullptr,
                    mainDialogProc, 0);
    return 0;
}

}  // namespace

MainDialogSession::MainDialogSession(int templateId) {
    thread_ = CreateThread(nullptr, 0, runMainDialog, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(templateId)), 0,
                           nullptr);
    dialog_ = driver::waitForDialog(L"Quandril 1.1");
    EXPECT_NE(dialog_, nullptr) << "the main dialog did not open";
}

void MainDialogSession::close() {
    // A test that failed half-way may have left a dialog open over it.
    for (const wchar_t* caption : {L"Select Files", L"Quandril"}) {
        if (HWND left = driver::findDialog(caption)) {
            driver::click(left, IDCANCEL);
            driver::click(left, IDNO);
            driver::click(left, IDOK);
        }
    }
    if (dialog_) {
        PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        dialog_ = nullptr;
    }
    if (thread_) {
        EXPECT_EQ(WaitForSingleObject(thread_, driver::kWaitMs), WAIT_OBJECT_0) << "the main dialog did not end";
        CloseHandle(thread_);
        thread_ = nullptr;
    }
}

MainDialogSession::~MainDialogSession() {
    close();
}

std::wstring exeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\'));
}

}  // namespace uitest
