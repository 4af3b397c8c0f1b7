// Shared helpers of the engine tests: a private temporary folder, the test
// converter and its steering variables, and reading back its event log.
#pragma once

#include "engine/ConvertCore.h"

#include <windows.h>

#include <string>
#include <vector>

namespace enginetest {

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Sets FAKECONV_* variables for this process and the children it starts;
// clears every one it set when it goes.
class ConverterSettings {
public:
    ~ConverterSettings();
    void set(const wchar_t* name, const std::wstring& value);

private:
    std::vector<std::wstring> names_;
};

std::wstring fakeConverterPath();
void writeFile(const std::wstring& path, const std::string& bytes);
std::string readFile(const std::wstring& path);  // empty when missing
bool fileExists(const std::wstring& path);
std::vector<std::wstring> filesIn(const std::wstring& folder, const std::wstring& pattern);

// Lines of the test converter's log.
std::vector<std::string> readLog(const std::wstring& path);
// The "args" lines split at tabs (the first element, "args", dropped).
std::vector<std::vector<std::string>> loggedCommands(const std::wstring& logPath);
int countLines(const std::wstring& logPath, const std::string& prefix);

// Waits (up to timeoutMs) until the run has ended, then for the worker.
bool waitForRunEnd(ConvertCore& core, DWORD timeoutMs = 60000);
// Waits until `condition` holds, polling every 10 ms.
template <typename F>
bool waitUntil(F condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

// Milliseconds of the high-resolution clock (Wine's tick count can lag a tick).
double nowMs();

bool runningUnderWine();
std::string utf8(const std::wstring& text);

}  // namespace enginetest
