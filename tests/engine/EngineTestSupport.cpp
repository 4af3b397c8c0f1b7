#include "tests/engine/EngineTestSupport.h"

#include "win/Scoped.h"

#include <atomic>

namespace enginetest {

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"quandril-engine-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    for (const std::wstring& name : filesIn(path_, L"*"))
        DeleteFileW(file(name).c_str());
    RemoveDirectoryW(path_.c_str());
}

ConverterSettings::~ConverterSettings() {
    for (const std::wstring& name : names_)
        SetEnvironmentVariableW(name.c_str(), nullptr);
}

void ConverterSettings::set(const wchar_t* name, const std::wstring& value) {
    SetEnvironmentVariableW(name, value.c_str());
    names_.push_back(name);
}

std::wstring fakeConverterPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.rfind(L'\\')) + L"\\fake_converter.exe";
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    win::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string readFile(const std::wstring& path) {
    win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), piece, sizeof piece, &got, nullptr) && got > 0)
        bytes.append(piece, got);
    return bytes;
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> filesIn(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    win::UniqueFind find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
    if (!find)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    return names;
}

std::vector<std::string> readLog(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = readFile(path);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

std::vector<std::vector<std::string>> loggedCommands(const std::wstring& logPath) {
    std::vector<std::vector<std::string>> commands;
    for (const std::string& line : readLog(logPath)) {
        if (line.rfind("args", 0) != 0)
            continue;
        std::vector<std::string> args;
        size_t pos = line.find('\t');
        while (pos != std::string::npos) {
            size_t next = line.find('\t', pos + 1);
            args.push_back(line.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
            pos = next;
        }
        commands.push_back(args);
    }
    return commands;
}

int countLines(const std::wstring& logPath, const std::string& prefix) {
    int count = 0;
    for (const std::string& line : readLog(logPath))
        count += line.rfind(prefix, 0) == 0;
    return count;
}

bool waitForRunEnd(ConvertCore& core, DWORD timeoutMs) {
    if (!waitUntil([&] { return core.runState > StopRequested; }, timeoutMs))
        return false;
    core.waitForWorker();
    return true;
}

double nowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace enginetest
