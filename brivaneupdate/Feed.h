// The update feed and the rules around it, as plain functions.
//
// The feed is a small UTF-8 text file of "key=value" lines:
//
//     version=1.0.0.2
//     url=https://updates.quandril.invalid/QuandrilSetup-1.0.0.2.exe
//     sha256=<64 hexadecimal digits of the installer's SHA-256>
//
// Blank lines and lines starting with '#' are skipped, unknown keys are
// ignored (a later feed may carry more), and each of the three keys must
// appear exactly once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brivaneup {

// Up to four dotted numbers; missing trailing parts count as 0.
using Version = std::array<std::uint32_t, 4>;

struct Feed {
    Version version{};
    std::wstring installerUrl;
    std::string sha256;  // 64 lower-case hexadecimal digits
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each part a decimal number below 2^32.
std::optional<Version> parseVersion(std::string_view text);

// Negative, zero or positive as `a` is older than, equal to or newer than `b`.
int compareVersions(const Version& a, const Version& b);

std::optional<Feed> parseFeed(std::string_view text);

// Only absolute http and https addresses are fetched.
bool isHttpUrl(std::wstring_view url);

// Whether a check is due `now`, given the time of the last one (seconds since
// 1970, 0 when there was none) and the interval in seconds. A last check in the
// future means the clock was set back: the check is due rather than blocked
// for an unknown time.
bool isCheckDue(std::int64_t now, std::int64_t lastCheck, std::int64_t interval);

// Turns a product name into a file-name part: characters that a file name
// cannot hold become '_'; an empty result becomes "update".
std::wstring fileNamePart(std::wstring_view name);

}  // namespace brivaneup
