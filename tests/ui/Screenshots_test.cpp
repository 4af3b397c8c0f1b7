// Not a check: takes the documentation's screenshots of the real dialogs.
// Run it inside a Wine virtual desktop, which draws the window captions:
//   QUANDRIL_SCREENSHOT_DIR=<Windows folder> wine explorer /desktop=shot,1024x768
//     ui_test.exe --gtest_also_run_disabled_tests --gtest_filter='DISABLED_Screenshots*'
// (docs/screenshots/take-screenshots.sh does exactly that).
#include "app/AppGlobals.h"
#include "resources/resource.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/MainDialog.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::wstring shotPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"QUANDRIL_SCREENSHOT_DIR", folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

TEST(DISABLED_Screenshots, MainWindowProgressAndSummary) {
    const std::wstring videos = L"C:\\Videos";
    CreateDirectoryW(videos.c_str(), nullptr);
    CreateDirectoryW((videos + L"\\MP4").c_str(), nullptr);
    const wchar_t* names[] = {L"Birthday party 2026.flv", L"Harbour at dusk.flv", L"Lecture - week 3.flv",
                              L"Skate park.flv"};
    uitest::ConverterSteering steering({{L"FAKECONV_DURATION", L"00:00:10.00"},
                                        {L"FAKECONV_TIMES", L"1,2,3,4,5,6,7,8,9,10"},
                                        {L"FAKECONV_PACE_MS", L"250"}});
    {
        uitest::MainDialogSession session;
        HWND dialog = session.dialog();
        for (const wchar_t* name : names) {
            std::ofstream((videos + L"\\" + name).c_str()) << "FLV";
            addToList((videos + L"\\" + name).c_str());
        }
        driver::setItemText(dialog, IDC_OUTPUT_FOLDER, videos + L"\\MP4");
        Sleep(500);
        EXPECT_TRUE(driver::saveScreenshot(dialog, shotPath(L"main-window.png")));

        driver::click(dialog, IDC_CONVERT);
        HWND progress = driver::waitForDialog(L"Progress");
        ASSERT_NE(progress, nullptr);
        driver::waitFor([&] { return driver::itemText(progress, IDC_COUNTER_LINE).rfind(L"2 / 4 (3", 0) == 0; });
        EXPECT_TRUE(driver::saveScreenshot(progress, shotPath(L"progress.png")));
        driver::waitFor([&] { return driver::itemText(progress, IDC_FILE_LINE) == L"Complete"; });
        Sleep(300);
        EXPECT_TRUE(driver::saveScreenshot(progress, shotPath(L"summary.png")));
        driver::click(progress, IDC_CLOSE);
        driver::waitFor([&] { return driver::dialogGone(progress); });
        Sleep(500);
        EXPECT_TRUE(driver::saveScreenshot(dialog, shotPath(L"after-run.png")));
    }
    for (const wchar_t* name : names) {
        DeleteFileW((videos + L"\\" + name).c_str());
        std::wstring output = videos + L"\\MP4\\" + name;
        output.replace(output.size() - 3, 3, L"mp4");
        DeleteFileW(output.c_str());
    }
    RemoveDirectoryW((videos + L"\\MP4").c_str());
    RemoveDirectoryW(videos.c_str());
}

}  // namespace
