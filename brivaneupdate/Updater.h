// What one update handle knows and does: the parameters the application set,
// the feed it found, the installer it downloaded.
//
// Where the feed comes from: the address compiled in (CMake cache variable
// QUANDRIL_UPDATE_FEED_URL; empty turns the check off), unless the
// environment variable QUANDRIL_UPDATE_FEED names another one (tests and
// staging servers use it).
//
// How often: a check is made at most once per interval (parameter 6, in
// seconds; 0 or less means at every start), remembered per user as the
// REG_QWORD "last_check" (seconds since 1970, UTC) under
// HKEY_CURRENT_USER\Software\<parameter 1>\update. A check counts when it is
// attempted, so an unreachable server costs at most one short wait per
// interval. haveNew(true) checks whatever the interval says.
#pragma once

#include "brivaneupdate/Feed.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace brivaneup {

// The whole feed check, name resolution included, ends within this time; the
// application waits for it before it shows its window.
constexpr DWORD kFeedDeadlineMs = 3000;

// The version of the running program: the product version of the process's
// executable from its version resource, else the version this module was built with.
Version runningVersion();

std::int64_t secondsSince1970();

// The registry record of the last check; 0 when there is none.
std::int64_t readLastCheck(const std::wstring& productFolder);
bool writeLastCheck(const std::wstring& productFolder, std::int64_t when);

class Updater {
public:
    explicit Updater(HWND owner) : owner_(owner) {}
    ~Updater();  // removes a downloaded installer that was never started
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    bool setParam(int param, LONG_PTR value);
    bool haveNew(bool force);
    bool download();
    bool install();

private:
    std::wstring feedUrl() const;
    std::wstring userAgent() const;
    std::wstring downloadFolder() const;

    HWND owner_;
    std::wstring productFolder_;
    std::wstring productId_ = L"Quandrix";
    std::wstring displayName_;
    LONG_PTR param4_ = 0;  // kept; it changes nothing in this module
    std::int64_t interval_ = 86400;

    std::optional<Feed> newer_;  // set by haveNew when the feed offers a newer version
    std::wstring installer_;     // the verified download
    bool installed_ = false;
};

}  // namespace brivaneup
