// The progress dialog over real runs of the engine with the test converter:
// the lines it shows, the summary, the replace question and stopping.
#include "ui/ProgressDialog.h"

#include "app/AppGlobals.h"
#include "engine/ConvertCore.h"
#include "resources/resource.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

using driver::itemText;
using driver::selectedIndexes;
using uitest::ConvertFixture;
using uitest::ConverterSteering;

TEST(ProgressDialog, CounterLines) {
    struct Running {
        long index, count, percent;
        const wchar_t* text;
    } running[] = {
        {0, 1, 37, L"1 / 1 (37%)"},
        {0, 3, 50, L"1 / 3 (16%)"},  // the fraction is dropped
        {1, 3, 50, L"2 / 3 (50%)"},
        {699, 700, 100, L"700 / 700 (100%)"},
    };
    for (const Running& c : running)
        EXPECT_EQ(runningCounterText(c.index, c.count, c.percent), c.text);
    struct Complete {
        long done, count;
        const wchar_t* text;
    } complete[] = {
        {1, 1, L"1 / 1 (100%)"}, {2, 3, L"2 / 3 (67%)"}, {1, 3, L"1 / 3 (33%)"},
        {1, 8, L"1 / 8 (13%)"},  {0, 3, L"0 / 3 (0%)"},  {0, 0, L"0 / 0 (0%)"},
    };
    for (const Complete& c : complete)
        EXPECT_EQ(completeCounterText(c.done, c.count), c.text);
}

// Waits for the summary, checks what it shows, presses Close.
void expectSummary(HWND progress, const std::wstring& counter) {
    ASSERT_TRUE(driver::waitFor([&] { return itemText(progress, IDC_FILE_LINE) == L"Complete"; }));
    EXPECT_EQ(itemText(progress, IDC_COUNTER_LINE), counter);
    EXPECT_FALSE(driver::isShown(progress, IDC_PROGRESS_BAR));
    EXPECT_FALSE(driver::isShown(progress, IDC_STOP));
    EXPECT_TRUE(driver::isShown(progress, IDC_CLOSE));
    Sleep(300);  // the summary stays until Close
    EXPECT_TRUE(IsWindowVisible(progress));
    driver::click(progress, IDC_CLOSE);
    EXPECT_TRUE(driver::waitFor([&] { return driver::dialogGone(progress); }));
}

TEST(ProgressDialog, ShowsTheFileCounterAndBarWhileRunningThenTheSummary) {
    // Four records over two seconds of source: 25, 50, 75, 100 percent.
    ConverterSteering steering({{L"FAKECONV_PACE_MS", L"400"}});
    ConvertFixture run(L"one");
    run.add({L"clip.flv"});
    HWND progress = run.convert();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(driver::isShown(progress, IDC_STOP));
    EXPECT_FALSE(driver::isShown(progress, IDC_CLOSE));
    const std::wstring source = run.sources().file(L"clip.flv");
    HWND bar = GetDlgItem(progress, IDC_PROGRESS_BAR);
    bool sawPartial = false;
    driver::waitFor([&] {
        const std::wstring counter = itemText(progress, IDC_COUNTER_LINE);
        if (counter == L"1 / 1 (50%)" || counter == L"1 / 1 (25%)" || counter == L"1 / 1 (75%)") {
            sawPartial = true;
            EXPECT_EQ(itemText(progress, IDC_FILE_LINE), source);
            EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
        }
        return sawPartial || itemText(progress, IDC_FILE_LINE) == L"Complete";
    });
    EXPECT_TRUE(sawPartial) << "no percentage between 0 and 100 was shown";
    expectSummary(progress, L"1 / 1 (100%)");
    EXPECT_EQ(selectedIndexes(run.list()), (std::vector<int>{0}));
}

TEST(ProgressDialog, SummaryCountsConvertedFilesAndTheListSelectsThem) {
    struct Case {
        const char* name;
        std::vector<std::wstring> files;  // "bad" ones get no output
        const wchar_t* counter;
        std::vector<int> selected;
    } cases[] = {
        {"two of three", {L"a.flv", L"b-bad.flv", L"c.flv"}, L"2 / 3 (67%)", {0, 2}},
        {"one of eight",
         {L"a.flv", L"b-bad.flv", L"c-bad.flv", L"d-bad.flv", L"e-bad.flv", L"f-bad.flv", L"g-bad.flv",
          L"h-bad.flv"},
         L"1 / 8 (13%)",
         {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConverterSteering steering(
            {{L"FAKECONV_PACE_MS", L"0"}, {L"FAKECONV_TIMES", L"2"}, {L"FAKECONV_NO_OUTPUT_FOR", L"-bad"}});
        ConvertFixture run(L"summary");
        run.add(c.files);
        HWND progress = run.convert();
        ASSERT_NE(progress, nullptr);
        expectSummary(progress, c.counter);
        EXPECT_EQ(selectedIndexes(run.list()), c.selected);
    }
}

TEST(ProgressDialog, AsksBeforeReplacingAnExistingOutput) {
    struct Case {
        int answer;
        bool replaced;
    } cases[] = {{IDYES, true}, {IDNO, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer == IDYES ? "Yes" : "No");
        ConverterSteering steering({{L"FAKECONV_PACE_MS", L"10"}});
        ConvertFixture run(L"replace");
        run.add({L"movie.flv"});
        const std::wstring output = run.outputs().write(L"movie.mp4", "old output\n");
        HWND progress = run.convert();
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(driver::answerMessageBox(c.answer),
                  L"'" + output + L"' already exists.\nDo you want to replace it?");
        expectSummary(progress, L"1 / 1 (100%)");
        const std::string content = driver::readFile(output);
        EXPECT_EQ(content.rfind("fake mp4", 0) == 0, c.replaced) << content;
    }
}

TEST(ProgressDialog, EscapeAndAltF4DoNothingStopNoGoesOnStopYesWaitsForTheWorker) {
    // A long conversion (30 s unless stopped: the questions take seconds to
    // answer on a busy machine) whose converter needs 4 s to quit after "q".
    std::wstring times = L"1";
    for (int t = 2; t <= 100; ++t)
        times += L"," + std::to_wstring(t);
    ConverterSteering steering({{L"FAKECONV_DURATION", L"00:02:00.00"},
                                {L"FAKECONV_TIMES", times},
                                {L"FAKECONV_PACE_MS", L"300"},
                                {L"FAKECONV_QUIT_DELAY_MS", L"4000"}});
    ConvertFixture run(L"stop");
    run.add({L"long.flv", L"next.flv"});
    HWND progress = run.convert();
    ASSERT_NE(progress, nullptr);

    PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);  // Escape
    PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);               // Alt+F4
    PostMessageW(progress, WM_CLOSE, 0, 0);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(progress));
    EXPECT_EQ(g_convertCore->runState, Running);

    driver::click(progress, IDC_STOP);
    EXPECT_EQ(driver::answerMessageBox(IDNO), L"Are you sure you want to stop the conversion?");
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(progress));
    EXPECT_EQ(g_convertCore->runState, Running);
    EXPECT_TRUE(driver::isEnabled(progress, IDC_STOP));

    driver::click(progress, IDC_STOP);
    EXPECT_EQ(driver::answerMessageBox(IDYES), L"Are you sure you want to stop the conversion?");
    // Past the engine's one-second wait the worker still finishes its file:
    // the dialog stays, Stop disabled, until the run has ended.
    // (The answer returns once the question has gone, when stop starts.)
    Sleep(1500);
    EXPECT_TRUE(IsWindowVisible(progress));
    EXPECT_FALSE(driver::isEnabled(progress, IDC_STOP));
    EXPECT_EQ(g_convertCore->runState, StopRequested);
    ASSERT_TRUE(driver::waitFor([&] { return driver::dialogGone(progress); }));
    EXPECT_EQ(g_convertCore->runState, Stopped);
    EXPECT_NE(itemText(progress, IDC_FILE_LINE), L"Complete");

    // Neither the stopped file nor the one the loop never came to was
    // converted: nothing is selected. A new Convert runs at once.
    EXPECT_EQ(selectedIndexes(run.list()), std::vector<int>{});
    SetEnvironmentVariableW(L"FAKECONV_PACE_MS", L"0");
    SetEnvironmentVariableW(L"FAKECONV_QUIT_DELAY_MS", nullptr);
    HWND again = run.convert();
    ASSERT_NE(again, nullptr);
    expectSummary(again, L"2 / 2 (100%)");
    EXPECT_EQ(selectedIndexes(run.list()), (std::vector<int>{0, 1}));
}

}  // namespace
