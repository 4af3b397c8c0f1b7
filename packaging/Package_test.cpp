// The win64 installer, used as a user or an administrator's script would:
// silent install, a start of the installed program, silent uninstall. Only
// the user's settings may stay behind.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "win/Scoped.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kUserKey[] = L"Software\\Brivane Media Converter\\package test";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quandril";

std::wstring besideTestProgram(const std::wstring& relative) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + relative;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

win::UniqueHandle start(const std::wstring& program, const std::wstring& arguments, const wchar_t* folder,
                        DWORD* pid = nullptr) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &process))
        return win::UniqueHandle();
    win::UniqueHandle thread(process.hThread);
    if (pid)
        *pid = process.dwProcessId;
    return win::UniqueHandle(process.hProcess);
}

// Runs a program to its end; its exit code, or -1 when it could not start or did not end in time.
long runToEnd(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    win::UniqueHandle process = start(program, arguments, nullptr);
    if (!process)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &code);
    else
        TerminateProcess(process.get(), 1);
    return static_cast<long>(code);
}

struct WindowSearch {
    DWORD pid;
    HWND found;
};

// A window a user would close: visible, top-level, owned by no other window,
// and not a tooltip.
BOOL CALLBACK findMainWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (pid == search->pid && IsWindowVisible(window) && !GetWindow(window, GW_OWNER) &&
        lstrcmpiW(className, TOOLTIPS_CLASSW) != 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Starts the installed program as the Start-menu shortcut would and closes
// each window it shows, as a user would, until it ends; it must end with 0.
// Empty when all went well, else what went wrong.
std::string startAndClose(const std::wstring& exe, const std::wstring& folder) {
    DWORD pid = 0;
    win::UniqueHandle process = start(exe, L"", folder.c_str(), &pid);
    if (!process)
        return "the installed program does not start, error " + std::to_string(GetLastError());
    // Start-up may wait up to 3 s for the update feed before its window appears.
    int windowsClosed = 0;
    HWND lastClosed = nullptr;
    for (int i = 0; i < 600 && WaitForSingleObject(process.get(), 100) == WAIT_TIMEOUT; ++i) {
        WindowSearch search = {pid, nullptr};
        EnumWindows(findMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && search.found != lastClosed) {
            PostMessageW(search.found, WM_CLOSE, 0, 0);
            lastClosed = search.found;
            ++windowsClosed;
        }
    }
    std::string problem;
    if (WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        problem = "the program did not end; windows closed: " + std::to_string(windowsClosed);
    } else {
        DWORD code = 1;
        GetExitCodeProcess(process.get(), &code);
        if (code != 0)
            problem = "the program ended with exit code " + std::to_string(code);
    }
    std::printf("installed program: %d window(s) closed, %s\n", windowsClosed, problem.empty() ? "ended cleanly" : problem.c_str());
    return problem;
}

std::wstring shortcutTarget(const std::wstring& link) {
    IShellLinkW* shellLink = nullptr;
    std::wstring target;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

bool keyExists(HKEY root, const wchar_t* path) {
    win::UniqueKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ | KEY_WOW64_64KEY, key.receive()) == ERROR_SUCCESS;
}

std::wstring readString(HKEY root, const wchar_t* path, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// The uninstaller copies itself away and returns at once; its copy does the
// work, and its last two steps remove these two keys.
void waitForUninstallerEnd() {
    for (int i = 0; i < 600 && (keyExists(HKEY_LOCAL_MACHINE, kUninstallKey) ||
                                keyExists(HKEY_LOCAL_MACHINE, L"Software\\Quandril"));
         ++i)
        Sleep(100);
}

// An installation that an interrupted earlier run left behind is removed the
// way a user would remove it, so that one bad run does not fail every later one.
void uninstallLeftover(const std::wstring& folder) {
    if (exists(folder + L"\\Uninstall.exe")) {
        runToEnd(folder + L"\\Uninstall.exe", L"/S", 60000);
        waitForUninstallerEnd();
    }
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // Wine mirrors Start-menu shortcuts onto the host's desktop menus; a
        // test must not, so its prefix gets winemenubuilder turned off.
        if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
            win::UniqueKey overrides;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, overrides.receive(), nullptr) == ERROR_SUCCESS)
                RegSetValueExW(overrides.get(), L"winemenubuilder.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                               sizeof(wchar_t));
        }
        setup_ = besideTestProgram(L"..\\package\\" QUANDRIL_SETUP_NAME);
        withConverter_ = exists(besideTestProgram(L"..\\package\\stage\\Quandril\\core\\mirovex.exe"));
        win::UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.receive(),
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key.get(), L"marker", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"keep"), 5 * sizeof(wchar_t));
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey);
        CoUninitialize();
    }

    std::wstring setup_;
    bool withConverter_ = false;
};

}  // namespace

TEST_F(PackageTest, InstallsStartsAndUninstallsLeavingOnlyTheUsersSettings) {
    ASSERT_TRUE(exists(setup_)) << "no installer was built";
    const std::wstring programFiles = knownFolder(FOLDERID_ProgramFiles);  // the 64-bit one: this is a 64-bit process
    const std::wstring startMenu = knownFolder(FOLDERID_CommonPrograms) + L"\\Quandril";
    ASSERT_FALSE(programFiles.empty());
    ASSERT_EQ(programFiles.find(L"(x86)"), std::wstring::npos);

    struct Case {
        const char* why;
        std::wstring arguments;
        std::wstring folder;
    } cases[] = {
        {"default folder", L"/S", programFiles + L"\\Quandril"},
        // /D= comes last and unquoted, spaces and all, as NSIS wants it.
        {"chosen folder", L"/S /D=C:\\Quandril test (1) \u00e4&%", L"C:\\Quandril test (1) \u00e4&%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        uninstallLeftover(c.folder);
        ASSERT_FALSE(exists(c.folder)) << "left over from an earlier run";
        ASSERT_EQ(runToEnd(setup_, c.arguments, 120000), 0);

        std::vector<std::wstring> files = {L"Quandril.exe",
                                           L"brivaneupdate.dll",
                                           L"Uninstall.exe",
                                           L"licences\\NOTICE.txt",
                                           L"licences\\COPYING.GPL-2.txt",
                                           L"licences\\COPYING.GPL-3.txt",
                                           L"licences\\MinGW-w64-runtime.txt"};
        if (withConverter_)
            files.push_back(L"core\\mirovex.exe");
        for (const std::wstring& file : files)
            EXPECT_TRUE(exists(c.folder + L"\\" + file)) << "missing: " << std::string(file.begin(), file.end());
        EXPECT_EQ(shortcutTarget(startMenu + L"\\Quandril.lnk"), c.folder + L"\\Quandril.exe");
        EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
                  L"\"" + c.folder + L"\\Uninstall.exe\"");
        EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), L"1.0.0.1");

        std::string problem = startAndClose(c.folder + L"\\Quandril.exe", c.folder);
        EXPECT_EQ(problem, "");

        ASSERT_EQ(runToEnd(c.folder + L"\\Uninstall.exe", L"/S", 60000), 0);
        waitForUninstallerEnd();
        EXPECT_FALSE(exists(c.folder)) << "the install folder is still there";
        EXPECT_FALSE(exists(startMenu)) << "the Start-menu folder is still there";
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, L"Software\\Quandril"));
        EXPECT_EQ(readString(HKEY_CURRENT_USER, kUserKey, L"marker"), L"keep");
    }
}

TEST_F(PackageTest, UninstallerKeepsFilesTheUserPutInTheFolder) {
    ASSERT_TRUE(exists(setup_)) << "no installer was built";
    const std::wstring folder = L"C:\\Quandril keep test";
    uninstallLeftover(folder);
    DeleteFileW((folder + L"\\core\\my notes.txt").c_str());
    RemoveDirectoryW((folder + L"\\core").c_str());
    RemoveDirectoryW(folder.c_str());
    ASSERT_FALSE(exists(folder)) << "left over from an earlier run";
    ASSERT_EQ(runToEnd(setup_, L"/S /D=" + folder, 120000), 0);
    const std::wstring mine = folder + L"\\core\\my notes.txt";
    ASSERT_TRUE(win::UniqueFile(
        CreateFileW(mine.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));

    ASSERT_EQ(runToEnd(folder + L"\\Uninstall.exe", L"/S", 60000), 0);
    waitForUninstallerEnd();
    EXPECT_TRUE(exists(mine));
    EXPECT_FALSE(exists(folder + L"\\Quandril.exe"));
    EXPECT_FALSE(exists(folder + L"\\brivaneupdate.dll"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    DeleteFileW(mine.c_str());
    RemoveDirectoryW((folder + L"\\core").c_str());
    RemoveDirectoryW(folder.c_str());
}
