// The module through its six exported operations, as the application calls
// them, against a feed and an installer served on 127.0.0.1 by this process.
#include "brivaneupdate/brivaneupdate.h"

#include "brivaneupdate/Sha256.h"
#include "brivaneupdate/Updater.h"
#include "LoopbackServer.h"
#include "win/Scoped.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using brivaneup_test::LoopbackServer;
using brivaneup_test::Reply;

namespace {

const wchar_t kFolder[] = L"Quandril Update Test";  // HKCU\Software\<this>, ours alone
const wchar_t kProductId[] = L"QuandrilUpdateTest";

std::wstring besideTestProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + name;
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string sha256Of(const std::string& data) {
    brivaneup::Sha256 hash;
    hash.update(data.data(), data.size());
    return hash.finishHex();
}

std::wstring downloadFolder() {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp, length) + kProductId + L" update";
}

// Files left in the download folder.
int filesLeft() {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((downloadFolder() + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

// An update handle with the application's parameters, released at the end.
class Handle {
public:
    explicit Handle(LONG_PTR interval = 86400) : h_(brivaneup_create(nullptr)) {
        brivaneup_setParam(h_, 1, reinterpret_cast<LONG_PTR>(kFolder));
        brivaneup_setParam(h_, 2, reinterpret_cast<LONG_PTR>(kProductId));
        brivaneup_setParam(h_, 3, reinterpret_cast<LONG_PTR>(L"Quandril"));
        brivaneup_setParam(h_, 4, 2);
        brivaneup_setParam(h_, 6, interval);
    }
    ~Handle() { brivaneup_release(h_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    BrivaneUpdate get() const { return h_; }

private:
    BrivaneUpdate h_;
};

class BrivaneUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\") + kFolder).c_str());
        installer_ = readFile(besideTestProgram(L"brivaneup_fake_installer.exe"));
        ASSERT_GT(installer_.size(), 1000u);
        server_.set("/setup.exe", Reply{200, installer_, false, false});
        offer("2.5.0.1");
        SetEnvironmentVariableW(L"QUANDRIL_UPDATE_FEED", server_.url("/feed").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"QUANDRIL_UPDATE_FEED", nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\") + kFolder).c_str());
    }

    void offer(const std::string& version, const std::string& installerPath = "/setup.exe",
               std::string sha256 = std::string()) {
        if (sha256.empty())
            sha256 = sha256Of(installer_);
        server_.set("/feed", Reply{200,
                                   "version=" + version + "\nurl=http://127.0.0.1:" +
                                       std::to_string(server_.port()) + installerPath + "\nsha256=" + sha256 + "\n",
                                   false, false});
    }

    LoopbackServer server_;
    std::string installer_;
};

}  // namespace

// This test program carries the version resource 2.5.0.0; the module was
// built as 1.0.0.1, so "1.0.0.2" is newer only if the resource is ignored.
TEST_F(BrivaneUpdateTest, ComparesTheFeedWithTheRunningVersion) {
    struct Case {
        const char* offered;
        int newer;
    } cases[] = {
        {"2.5.0.1", 1}, {"2.6", 1}, {"3", 1}, {"2.5.0.0", 0}, {"2.5", 0}, {"2.4.99.99", 0}, {"1.0.0.2", 0},
    };
    for (const Case& c : cases) {
        offer(c.offered);
        Handle h(0);
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), c.newer) << c.offered;
    }
    EXPECT_EQ(brivaneup::runningVersion(), (brivaneup::Version{2, 5, 0, 0}));
}

TEST_F(BrivaneUpdateTest, DownloadsVerifiesAndStartsTheInstaller) {
    std::wstring marker = downloadFolder() + L" marker.txt";
    DeleteFileW(marker.c_str());
    SetEnvironmentVariableW(L"BRIVANEUP_TEST_MARKER", marker.c_str());
    {
        Handle h;
        ASSERT_EQ(brivaneup_haveNew(h.get(), false), 1);
        ASSERT_EQ(brivaneup_download(h.get()), 1);
        EXPECT_EQ(filesLeft(), 1);  // the verified installer, no partial file beside it
        EXPECT_EQ(brivaneup_install(h.get()), 1);
        EXPECT_EQ(brivaneup_install(h.get()), 0);  // at most once
    }
    std::string ran;
    for (int i = 0; i < 200 && ran.empty(); ++i) {
        Sleep(50);
        ran = readFile(marker);
    }
    SetEnvironmentVariableW(L"BRIVANEUP_TEST_MARKER", nullptr);
    ASSERT_FALSE(ran.empty()) << "the installer did not run";
    std::wstring ranFrom(reinterpret_cast<const wchar_t*>(ran.data()), ran.size() / sizeof(wchar_t));
    EXPECT_EQ(ranFrom.rfind(downloadFolder() + L"\\", 0), 0u) << "ran from elsewhere";
    EXPECT_EQ(readFile(ranFrom), installer_);
    DeleteFileW(marker.c_str());
}

TEST_F(BrivaneUpdateTest, RefusesAnInstallerThatIsNotTheOneTheFeedNames) {
    server_.set("/cut.exe", Reply{200, installer_.substr(0, 5000), false, true});
    struct Case {
        const char* why;
        std::string path;
        std::string sha256;
    } cases[] = {
        {"wrong checksum", "/setup.exe", sha256Of(installer_ + "x")},
        {"installer not found", "/missing.exe", ""},
        {"connection cut short", "/cut.exe", sha256Of(installer_.substr(0, 5000))},
    };
    for (const Case& c : cases) {
        offer("9", c.path, c.sha256);
        Handle h(0);
        ASSERT_EQ(brivaneup_haveNew(h.get(), false), 1) << c.why;
        EXPECT_EQ(brivaneup_download(h.get()), 0) << c.why;
        EXPECT_EQ(brivaneup_install(h.get()), 0) << c.why;
        EXPECT_EQ(filesLeft(), 0) << c.why << ": a file was left in the download folder";
        EXPECT_EQ(GetFileAttributesW(downloadFolder().c_str()), INVALID_FILE_ATTRIBUTES) << c.why;
    }
}

TEST_F(BrivaneUpdateTest, ReleaseRemovesAnInstallerThatWasNotStarted) {
    {
        Handle h;
        ASSERT_EQ(brivaneup_haveNew(h.get(), false), 1);
        ASSERT_EQ(brivaneup_download(h.get()), 1);
        EXPECT_EQ(filesLeft(), 1);
    }
    EXPECT_EQ(filesLeft(), 0);
    EXPECT_EQ(GetFileAttributesW(downloadFolder().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(BrivaneUpdateTest, FindsNothingInABadOrMissingFeed) {
    server_.set("/html", Reply{200, "<html>Sorry</html>", false, false});
    std::wstring urls[] = {server_.url("/nothing-here"), server_.url("/html"), brivaneup_test::closedPortUrl()};
    for (const std::wstring& url : urls) {
        SetEnvironmentVariableW(L"QUANDRIL_UPDATE_FEED", url.c_str());
        Handle h(0);
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 0) << url;
        EXPECT_EQ(brivaneup_download(h.get()), 0) << url;
        EXPECT_EQ(brivaneup_install(h.get()), 0) << url;
    }
}

// Start-up waits for the check: whatever the server does, it ends within 3 s.
TEST_F(BrivaneUpdateTest, AFeedThatNeverComesHoldsStartUpAtMostThreeSeconds) {
    server_.set("/hang", Reply{200, "", true, false});
    struct Case {
        const char* why;
        std::wstring url;  // empty: the address compiled in
    } cases[] = {
        {"server never answers", server_.url("/hang")},
        {"placeholder host that does not exist", L""},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableW(L"QUANDRIL_UPDATE_FEED", c.url.empty() ? nullptr : c.url.c_str());
        Handle h(0);
        ULONGLONG start = GetTickCount64();
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 0) << c.why;
        ULONGLONG ms = GetTickCount64() - start;
        EXPECT_LE(ms, 3000u + 1500u) << c.why;  // the bound, plus generous slack for a busy machine
    }
    EXPECT_EQ(server_.hits("/hang"), 1);
}

TEST_F(BrivaneUpdateTest, ChecksAtMostOncePerInterval) {
    const std::wstring key = std::wstring(L"Software\\") + kFolder + L"\\update";
    {
        Handle h;
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 1);
    }
    EXPECT_EQ(server_.hits("/feed"), 1);

    std::int64_t recorded = 0;
    DWORD size = sizeof recorded;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"last_check", RRF_RT_REG_QWORD, nullptr, &recorded,
                           &size),
              ERROR_SUCCESS);
    EXPECT_NEAR(static_cast<double>(recorded), static_cast<double>(brivaneup::secondsSince1970()), 60.0);

    {
        Handle h;  // a second start within the day: no request at all
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 0);
        EXPECT_EQ(brivaneup_download(h.get()), 0);
    }
    EXPECT_EQ(server_.hits("/feed"), 1);

    {
        Handle h;  // asked to check now
        EXPECT_EQ(brivaneup_haveNew(h.get(), true), 1);
    }
    EXPECT_EQ(server_.hits("/feed"), 2);

    // The interval is the caller's: with a last check two hours back, a
    // one-hour interval checks again and a day's does not.
    brivaneup::writeLastCheck(kFolder, brivaneup::secondsSince1970() - 7200);
    {
        Handle h(86400);
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 0);
    }
    EXPECT_EQ(server_.hits("/feed"), 2);
    {
        Handle h(3600);
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 1);
    }
    EXPECT_EQ(server_.hits("/feed"), 3);

    // An unreachable server counts as a check too: it costs one wait a day.
    SetEnvironmentVariableW(L"QUANDRIL_UPDATE_FEED", brivaneup_test::closedPortUrl().c_str());
    brivaneup::writeLastCheck(kFolder, 0);
    {
        Handle h;
        EXPECT_EQ(brivaneup_haveNew(h.get(), false), 0);
    }
    EXPECT_GT(brivaneup::readLastCheck(kFolder), 0);
}

TEST_F(BrivaneUpdateTest, EveryOperationToleratesANullHandleAndUnknownParameters) {
    EXPECT_EQ(brivaneup_setParam(nullptr, 1, 0), 0);
    EXPECT_EQ(brivaneup_haveNew(nullptr, false), 0);
    EXPECT_EQ(brivaneup_download(nullptr), 0);
    EXPECT_EQ(brivaneup_install(nullptr), 0);
    EXPECT_EQ(brivaneup_release(nullptr), 0);
    Handle h;
    EXPECT_EQ(brivaneup_setParam(h.get(), 5, 1), 0);
    EXPECT_EQ(brivaneup_setParam(h.get(), 1, 0), 0);  // a null string is refused
    EXPECT_EQ(brivaneup_download(h.get()), 0);         // nothing found yet
    EXPECT_EQ(brivaneup_install(h.get()), 0);
}

namespace {

struct WindowSearch {
    DWORD pid;
    bool found;
};

BOOL CALLBACK findVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window))
        search->found = true;
    return !search->found;
}

}  // namespace

// The real program, importing this module at load time: offered a newer
// version, it downloads it, starts it and ends without showing a window.
TEST_F(BrivaneUpdateTest, TheProgramHandsOverToANewerVersionWithoutAWindow) {
    const std::wstring program = besideTestProgram(L"..\\dist\\Quandril.exe");
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "Quandril.exe is not built";
    // The program's own product folder and id: a check must be due.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Brivane Media Converter\\update");
    std::wstring marker = downloadFolder() + L" program marker.txt";
    DeleteFileW(marker.c_str());
    SetEnvironmentVariableW(L"BRIVANEUP_TEST_MARKER", marker.c_str());

    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info));
    win::UniqueHandle process(info.hProcess);
    win::UniqueHandle thread(info.hThread);
    SetEnvironmentVariableW(L"BRIVANEUP_TEST_MARKER", nullptr);
    WindowSearch search = {info.dwProcessId, false};
    for (int i = 0; i < 600 && WaitForSingleObject(process.get(), 50) == WAIT_TIMEOUT; ++i)
        EnumWindows(findVisibleWindow, reinterpret_cast<LPARAM>(&search));
    if (WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        FAIL() << "the program did not end";
    }
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(search.found) << "a window was shown";

    std::string ran;
    for (int i = 0; i < 200 && ran.empty(); ++i) {
        Sleep(50);
        ran = readFile(marker);
    }
    EXPECT_FALSE(ran.empty()) << "the installer did not run";
    EXPECT_EQ(server_.hits("/feed"), 1);
    EXPECT_EQ(server_.hits("/setup.exe"), 1);
    DeleteFileW(marker.c_str());
    // The started installer has ended: its file and folder go, as the next update would remove them.
    std::wstring ranFrom(reinterpret_cast<const wchar_t*>(ran.data()), ran.size() / sizeof(wchar_t));
    if (!ranFrom.empty()) {
        DeleteFileW(ranFrom.c_str());
        RemoveDirectoryW(ranFrom.substr(0, ranFrom.find_last_of(L'\\')).c_str());
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Brivane Media Converter\\update");
}
