#include "brivaneupdate/Feed.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

namespace brivaneup {

namespace {

std::string_view trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::optional<std::wstring> fromUtf8(std::string_view text) {
    if (text.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                        static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

std::optional<Version> parseVersion(std::string_view text) {
    Version version{};
    size_t part = 0;
    size_t pos = 0;
    while (true) {
        if (part == version.size())
            return std::nullopt;
        size_t end = text.find('.', pos);
        std::string_view digits = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (digits.empty() || digits.size() > 10)
            return std::nullopt;
        std::uint64_t value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
        version[part++] = static_cast<std::uint32_t>(value);
        if (end == std::string_view::npos)
            return version;
        pos = end + 1;
    }
}

int compareVersions(const Version& a, const Version& b) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

std::optional<Feed> parseFeed(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    std::optional<std::string_view> version, url, sha256;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        std::string_view key = trim(line.substr(0, equals));
        std::string_view value = trim(line.substr(equals + 1));
        std::optional<std::string_view>* slot = key == "version" ? &version
                                              : key == "url"     ? &url
                                              : key == "sha256"  ? &sha256
                                                                 : nullptr;
        if (!slot)
            continue;
        if (slot->has_value())  // two answers to one question: trust neither
            return std::nullopt;
        *slot = value;
    }
    if (!version || !url || !sha256)
        return std::nullopt;

    Feed feed;
    std::optional<Version> parsed = parseVersion(*version);
    std::optional<std::wstring> wideUrl = fromUtf8(*url);
    if (!parsed || !wideUrl || !isHttpUrl(*wideUrl))
        return std::nullopt;
    if (sha256->size() != 64 || !std::all_of(sha256->begin(), sha256->end(), isHexDigit))
        return std::nullopt;
    feed.version = *parsed;
    feed.installerUrl = std::move(*wideUrl);
    feed.sha256.assign(sha256->begin(), sha256->end());
    std::transform(feed.sha256.begin(), feed.sha256.end(), feed.sha256.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; });
    return feed;
}

bool isHttpUrl(std::wstring_view url) {
    auto startsWith = [url](std::wstring_view prefix) {
        if (url.size() <= prefix.size())
            return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            if (std::towlower(url[i]) != prefix[i])
                return false;
        }
        return true;
    };
    bool control = std::any_of(url.begin(), url.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; });
    return !control && (startsWith(L"http://") || startsWith(L"https://"));
}

bool isCheckDue(std::int64_t now, std::int64_t lastCheck, std::int64_t interval) {
    if (lastCheck <= 0 || interval <= 0 || lastCheck > now)
        return true;
    return now - lastCheck >= interval;
}

std::wstring fileNamePart(std::wstring_view name) {
    std::wstring part;
    for (wchar_t c : name)
        part += (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) ? L'_' : c;
    // Windows drops trailing dots and spaces from file names.
    while (!part.empty() && (part.back() == L'.' || part.back() == L' '))
        part.pop_back();
    return part.empty() ? L"update" : part;
}

}  // namespace brivaneup
