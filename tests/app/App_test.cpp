// Quandril.exe as its own process, beside a test update module: the update
// check's paths, the template it opens, and the output folder kept between
// runs in the registry.
#include "app/Settings.h"
#include "app/AppGlobals.h"
#include "presets/VideoPreset.h"
#include "resources/resource.h"
#include "tests/ui/DialogDriver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// A path of the build tree (Linux) as Wine shows it.
std::wstring hostPath(const char* path) {
    std::wstring result = L"Z:";
    for (const char* c = path; *c; ++c)
        result += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return result;
}

struct Steering {
    const wchar_t* create;
    const wchar_t* haveNew;
    const wchar_t* download;
};

class QuandrilProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(hostPath(QUANDRIL_EXE).c_str(), folder_.file(L"Quandril.exe").c_str(), FALSE));
        ASSERT_TRUE(
            CopyFileW(hostPath(TEST_UPDATE_MODULE).c_str(), folder_.file(L"brivaneupdate.dll").c_str(), FALSE));
        SetEnvironmentVariableW(L"QUANDRIL_TEST_UPDATE_LOG", log_.c_str());
        family_ = std::make_unique<FlvMp4>();
        g_presetFamily = family_.get();  // the real key of the shipped family
        storedBefore_ = loadOutputFolder();
    }
    void TearDown() override {
        for (const wchar_t* name : {L"QUANDRIL_TEST_UPDATE_LOG", L"QUANDRIL_TEST_UPDATE_CREATE",
                                    L"QUANDRIL_TEST_UPDATE_HAVE_NEW", L"QUANDRIL_TEST_UPDATE_DOWNLOAD"})
            SetEnvironmentVariableW(name, nullptr);
        if (process_.hProcess) {
            TerminateProcess(process_.hProcess, 1);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        saveOutputFolder(storedBefore_);
        g_presetFamily = nullptr;
    }

    void start(const Steering& steering, const std::wstring& arguments = L"") {
        SetEnvironmentVariableW(L"QUANDRIL_TEST_UPDATE_CREATE", steering.create);
        SetEnvironmentVariableW(L"QUANDRIL_TEST_UPDATE_HAVE_NEW", steering.haveNew);
        SetEnvironmentVariableW(L"QUANDRIL_TEST_UPDATE_DOWNLOAD", steering.download);
        std::wstring commandLine = L"\"" + folder_.file(L"Quandril.exe") + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder_.path().c_str(), &startup, &process_));
    }
    HWND waitForMainWindow() {
        HWND found = nullptr;
        driver::waitFor([&] {
            return (found = driver::findDialogOf(process_.dwProcessId, L"Quandril 1.1")) != nullptr ||
                   WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
        });
        return found;
    }
    // Waits for the end of the process; its exit code, or -1.
    long exitCode() {
        if (WaitForSingleObject(process_.hProcess, driver::kWaitMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }
    std::vector<std::wstring> calls() {
        std::vector<std::wstring> lines;
        FILE* file = _wfopen(log_.c_str(), L"r, ccs=UTF-8");
        if (!file)
            return lines;
        wchar_t line[512];
        while (fgetws(line, 512, file)) {
            std::wstring text(line);
            while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
                text.pop_back();
            lines.push_back(text);
        }
        fclose(file);
        return lines;
    }

    driver::TempFolder folder_{L"app"};
    std::wstring log_ = folder_.file(L"update.log");
    PROCESS_INFORMATION process_ = {};
    std::unique_ptr<FlvMp4> family_;
    std::wstring storedBefore_;
};

const std::vector<std::wstring> kParams = {
    L"create null",
    L"setParam 1 Brivane Media Converter",
    L"setParam 2 Quandrix",
    L"setParam 3 Quandril",
    L"setParam 4 2",
    L"setParam 6 86400",
    L"haveNew false",
};

std::vector<std::wstring> with(std::vector<std::wstring> head, std::initializer_list<std::wstring> tail) {
    head.insert(head.end(), tail);
    return head;
}

TEST_F(QuandrilProcess, DownloadedUpdateIsInstalledAndTheProgramEndsWithoutAWindow) {
    start({L"1", L"1", L"1"});
    EXPECT_EQ(exitCode(), 0);
    EXPECT_EQ(calls(), with(kParams, {L"download", L"install", L"release"}));
    EXPECT_EQ(waitForMainWindow(), nullptr);
}

TEST_F(QuandrilProcess, WithoutAnInstalledUpdateTheMainWindowOpens) {
    struct Case {
        const char* name;
        Steering steering;
        std::vector<std::wstring> calls;
    } cases[] = {
        {"no update handle", {L"0", L"1", L"1"}, {L"create null"}},
        {"no newer version", {L"1", L"0", L"1"}, with(kParams, {L"release"})},
        {"download failed", {L"1", L"1", L"0"}, with(kParams, {L"download", L"release"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log_.c_str());
        start(c.steering);
        HWND main = waitForMainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(calls(), c.calls);
        // Five presets: template 129, with the preset selector.
        EXPECT_NE(GetDlgItem(main, IDC_PRESET), nullptr);
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        EXPECT_EQ(exitCode(), 0);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
    }
}

TEST_F(QuandrilProcess, KeepsTheOutputFolderBetweenRunsAndIgnoresArguments) {
    saveOutputFolder(L"Z:\\kept");
    start({L"0", L"0", L"0"}, L"/S --update Z:\\some.flv");
    HWND main = waitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(driver::itemText(main, IDC_OUTPUT_FOLDER), L"Z:\\kept");
    EXPECT_EQ(SendMessageW(GetDlgItem(main, IDC_FILE_LIST), LB_GETCOUNT, 0, 0), 0);
    driver::setItemText(main, IDC_OUTPUT_FOLDER, L"Z:\\changed at close");
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(exitCode(), 0);
    EXPECT_EQ(loadOutputFolder(), L"Z:\\changed at close");
}

}  // namespace

namespace {

// The whole program with its real converter: two FLV files (made by the
// host's ffmpeg at build time) chosen in the open-file dialog, converted
// through the window, and selected afterwards.
TEST_F(QuandrilProcess, ConvertsRealFlvFilesThroughTheWindow) {
    ASSERT_TRUE(CreateDirectoryW(folder_.file(L"core").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(hostPath(REAL_CONVERTER).c_str(), folder_.file(L"core\\mirovex.exe").c_str(), FALSE));
    driver::TempFolder sources(L"real-in");
    driver::TempFolder outputs(L"real-out");
    const std::wstring fixtures = hostPath(FLV_FIXTURES);
    for (const wchar_t* name : {L"h264 aac.flv", L"sorenson mp3.flv"})
        ASSERT_TRUE(CopyFileW((fixtures + L"\\" + name).c_str(), sources.file(name).c_str(), FALSE));

    start({L"0", L"0", L"0"});
    driver::setTargetProcess(process_.dwProcessId);
    HWND main = waitForMainWindow();
    ASSERT_NE(main, nullptr);
    driver::click(main, IDC_ADD);
    driver::chooseInOpenDialog(sources.path(), {L"sorenson mp3.flv", L"h264 aac.flv"});
    HWND list = GetDlgItem(main, IDC_FILE_LIST);
    ASSERT_TRUE(driver::waitFor([&] { return driver::listEntries(list).size() == 2; }));
    driver::setItemText(main, IDC_OUTPUT_FOLDER, outputs.path());
    SendMessageW(GetDlgItem(main, IDC_PRESET), CB_SETCURSEL, 2, 0);
    driver::click(main, IDC_CONVERT);
    HWND progress = driver::waitForDialog(L"Progress");
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(driver::waitFor([&] { return driver::itemText(progress, IDC_FILE_LINE) == L"Complete"; }, 240000));
    EXPECT_EQ(driver::itemText(progress, IDC_COUNTER_LINE), L"2 / 2 (100%)");
    driver::click(progress, IDC_CLOSE);
    ASSERT_TRUE(driver::waitFor([&] { return driver::dialogGone(progress); }));
    EXPECT_EQ(driver::selectedIndexes(list), (std::vector<int>{0, 1}));
    for (const wchar_t* name : {L"h264 aac.mp4", L"sorenson mp3.mp4"}) {
        const std::string mp4 = driver::readFile(outputs.file(name));
        EXPECT_GT(mp4.size(), 1000u) << "output " << std::wstring(name).size();
        EXPECT_EQ(mp4.substr(4, 4), "ftyp");
    }
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_EQ(exitCode(), 0);
    driver::setTargetProcess(0);
}

}  // namespace
