#include "brivaneupdate/Updater.h"

#include "brivaneupdate/HttpGet.h"
#include "brivaneupdate/Sha256.h"
#include "win/Scoped.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace brivaneup {

namespace {

constexpr wchar_t kLastCheckValue[] = L"last_check";
constexpr std::uint64_t kMaxFeedBytes = 64 * 1024;
constexpr std::uint64_t kMaxInstallerBytes = 512ull * 1024 * 1024;

// The installer may be large and the line slow, but a server that stops
// sending for this long, or a download longer than this, is given up.
constexpr HttpLimits kInstallerLimits = {5000, 20000, 10 * 60 * 1000, kMaxInstallerBytes};

void trace(const std::wstring& text) {
    OutputDebugStringW((L"brivaneupdate: " + text + L"\n").c_str());
}

std::wstring versionText(const Version& v) {
    return std::to_wstring(v[0]) + L'.' + std::to_wstring(v[1]) + L'.' + std::to_wstring(v[2]) + L'.' +
           std::to_wstring(v[3]);
}

std::wstring modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring updateKeyPath(const std::wstring& productFolder) {
    return L"Software\\" + productFolder + L"\\update";
}

// The feed fetch runs on a thread of its own so that the caller's wait has a
// hard end even where WinHTTP's own timeouts do not hold (name resolution,
// for one). A fetch that outlives the wait is abandoned: the thread keeps its
// state alive through the shared pointer and keeps this module loaded until
// it has ended.
struct FeedFetch {
    std::wstring url;
    std::wstring userAgent;
    std::string body;
    HttpOutcome outcome;
};

DWORD WINAPI feedThread(void* param) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&feedThread), &self);
    {
        std::unique_ptr<std::shared_ptr<FeedFetch>> handed(static_cast<std::shared_ptr<FeedFetch>*>(param));
        std::shared_ptr<FeedFetch> fetch = std::move(*handed);
        handed.reset();
        try {
            // The fetch itself stops a little before the caller's wait does,
            // so that the ordinary failure is a clean one.
            const HttpLimits limits = {kFeedDeadlineMs - 500, kFeedDeadlineMs - 500, kFeedDeadlineMs - 300,
                                       kMaxFeedBytes};
            fetch->outcome = httpGet(fetch->url, fetch->userAgent, limits, [&](const char* data, size_t size) {
                fetch->body.append(data, size);
                return true;
            });
        } catch (...) {
            fetch->outcome.result = HttpResult::aborted;
        }
    }
    if (self)
        FreeLibraryAndExitThread(self, 0);
    return 0;
}

std::optional<std::string> fetchFeed(const std::wstring& url, const std::wstring& userAgent) {
    auto fetch = std::make_shared<FeedFetch>();
    fetch->url = url;
    fetch->userAgent = userAgent;
    auto handed = std::make_unique<std::shared_ptr<FeedFetch>>(fetch);
    win::UniqueHandle thread(CreateThread(nullptr, 0, feedThread, handed.get(), 0, nullptr));
    if (!thread) {
        trace(L"CreateThread failed");
        return std::nullopt;
    }
    handed.release();  // the thread owns it now
    if (WaitForSingleObject(thread.get(), kFeedDeadlineMs) != WAIT_OBJECT_0) {
        trace(L"the feed did not come in time: " + url);
        return std::nullopt;
    }
    if (fetch->outcome.result != HttpResult::ok) {
        trace(L"the feed could not be read (result " + std::to_wstring(static_cast<int>(fetch->outcome.result)) +
              L", status " + std::to_wstring(fetch->outcome.status) + L", error " +
              std::to_wstring(fetch->outcome.error) + L"): " + url);
        return std::nullopt;
    }
    return std::move(fetch->body);
}

bool writeAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
        if (!WriteFile(file, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// COM for ShellExecuteExW, as its documentation asks; left as it was found.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

}  // namespace

Version runningVersion() {
    std::wstring exe = modulePath(nullptr);
    DWORD ignored = 0;
    DWORD size = exe.empty() ? 0 : GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size > 0) {
        std::vector<unsigned char> block(size);
        VS_FIXEDFILEINFO* info = nullptr;
        UINT infoSize = 0;
        if (GetFileVersionInfoW(exe.c_str(), 0, size, block.data()) &&
            VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) && info &&
            infoSize >= sizeof(VS_FIXEDFILEINFO) && info->dwSignature == 0xFEEF04BD) {
            return {HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
                    HIWORD(info->dwProductVersionLS), LOWORD(info->dwProductVersionLS)};
        }
    }
    std::optional<Version> built = parseVersion(BRIVANEUP_BUILT_VERSION);
    return built ? *built : Version{};
}

std::int64_t secondsSince1970() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    constexpr std::uint64_t kTicksTo1970 = 116444736000000000ull;  // 100 ns units from 1601
    return static_cast<std::int64_t>((ticks.QuadPart - kTicksTo1970) / 10000000ull);
}

std::int64_t readLastCheck(const std::wstring& productFolder) {
    win::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, updateKeyPath(productFolder).c_str(), 0, KEY_QUERY_VALUE,
                      key.receive()) != ERROR_SUCCESS)
        return 0;
    std::int64_t when = 0;
    DWORD type = 0;
    DWORD size = sizeof when;
    if (RegQueryValueExW(key.get(), kLastCheckValue, nullptr, &type, reinterpret_cast<BYTE*>(&when), &size) !=
            ERROR_SUCCESS ||
        type != REG_QWORD || size != sizeof when)
        return 0;
    return when;
}

bool writeLastCheck(const std::wstring& productFolder, std::int64_t when) {
    win::UniqueKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, updateKeyPath(productFolder).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), kLastCheckValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&when),
                          sizeof when) == ERROR_SUCCESS;
}

Updater::~Updater() {
    if (!installer_.empty() && !installed_) {
        DeleteFileW(installer_.c_str());
        RemoveDirectoryW(downloadFolder().c_str());  // only when empty
    }
}

bool Updater::setParam(int param, LONG_PTR value) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(value);
    switch (param) {
    case 1:
    case 2:
    case 3:
        if (!text)
            return false;
        // Copied: the application promises static strings, but a copy costs nothing.
        (param == 1 ? productFolder_ : param == 2 ? productId_ : displayName_) = text;
        return true;
    case 4:
        param4_ = value;
        return true;
    case 6:
        interval_ = value;
        return true;
    default:
        return false;
    }
}

std::wstring Updater::feedUrl() const {
    wchar_t buffer[2048];
    DWORD length = GetEnvironmentVariableW(L"QUANDRIL_UPDATE_FEED", buffer, ARRAYSIZE(buffer));
    if (length > 0 && length < ARRAYSIZE(buffer))
        return buffer;
    return BRIVANEUP_FEED_URL;
}

std::wstring Updater::userAgent() const {
    return productId_ + L"/" + versionText(runningVersion());
}

std::wstring Updater::downloadFolder() const {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(ARRAYSIZE(temp), temp);
    if (length == 0 || length > MAX_PATH)
        return {};
    return std::wstring(temp, length) + fileNamePart(productId_) + L" update";
}

bool Updater::haveNew(bool force) {
    trace(L"----- haveNew -----");
    newer_.reset();
    std::wstring url = feedUrl();
    if (url.empty())
        return false;

    std::int64_t now = secondsSince1970();
    if (!productFolder_.empty()) {
        if (!force && !isCheckDue(now, readLastCheck(productFolder_), interval_))
            return false;
        // Recorded before the attempt: a server that never answers must not
        // hold every start-up up for the whole of its wait.
        writeLastCheck(productFolder_, now);
    }

    std::optional<std::string> text = fetchFeed(url, userAgent());
    if (!text)
        return false;
    std::optional<Feed> feed = parseFeed(*text);
    if (!feed) {
        trace(L"the feed is not in the expected form: " + url);
        return false;
    }
    Version running = runningVersion();
    trace(L"offered " + versionText(feed->version) + L", running " + versionText(running));
    if (compareVersions(feed->version, running) <= 0)
        return false;
    newer_ = std::move(feed);
    return true;
}

bool Updater::download() {
    trace(L"----- download -----");
    if (!newer_)
        return false;
    if (!installer_.empty())
        return true;

    std::wstring folder = downloadFolder();
    if (folder.empty())
        return false;
    CreateDirectoryW(folder.c_str(), nullptr);
    // Installers of earlier updates that were started: they are finished by now.
    WIN32_FIND_DATAW found;
    win::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (find) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + L'\\' + found.cFileName).c_str());
        } while (FindNextFileW(find.get(), &found));
    }

    std::wstring name = folder + L'\\' + fileNamePart(productId_) + L"-" + versionText(newer_->version) + L"-setup.exe";
    std::wstring part = name + L".part";
    Sha256 hash;
    HttpOutcome outcome;
    bool flushed = false;
    {
        win::UniqueFile file(CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !hash.valid()) {
            trace(L"cannot write " + part);
            return false;
        }
        outcome = httpGet(newer_->installerUrl, userAgent(), kInstallerLimits, [&](const char* data, size_t size) {
            return hash.update(data, size) && writeAll(file.get(), data, size);
        });
        flushed = outcome.result == HttpResult::ok && FlushFileBuffers(file.get());
    }
    if (!flushed) {
        trace(L"the installer could not be downloaded (result " + std::to_wstring(static_cast<int>(outcome.result)) +
              L", status " + std::to_wstring(outcome.status) + L", error " + std::to_wstring(outcome.error) +
              L"): " + newer_->installerUrl);
        DeleteFileW(part.c_str());
        RemoveDirectoryW(folder.c_str());  // only when empty
        return false;
    }
    std::string digest = hash.finishHex();
    if (digest != newer_->sha256) {
        trace(L"the installer's SHA-256 is not the feed's; it is deleted");
        DeleteFileW(part.c_str());
        RemoveDirectoryW(folder.c_str());
        return false;
    }
    // Only a complete, verified file ever carries the name that is started.
    if (!MoveFileExW(part.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        trace(L"MoveFileExW failed for " + name);
        DeleteFileW(part.c_str());
        return false;
    }
    installer_ = name;
    return true;
}

bool Updater::install() {
    trace(L"----- install -----");
    if (installer_.empty() || installed_)
        return false;
    ComScope com;
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = owner_;
    execute.lpVerb = L"open";  // through the shell, so that the installer may ask for elevation
    execute.lpFile = installer_.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&execute)) {
        trace(L"ShellExecuteExW failed for " + installer_);
        return false;
    }
    win::UniqueHandle process(execute.hProcess);
    installed_ = true;
    return true;
}

}  // namespace brivaneup
