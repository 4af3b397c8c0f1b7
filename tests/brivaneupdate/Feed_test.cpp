#include "brivaneupdate/Feed.h"

#include <gtest/gtest.h>

using namespace brivaneup;

TEST(FeedTest, ParsesVersions) {
    struct Case {
        const char* text;
        bool valid;
        Version version;
    } cases[] = {
        {"1.0.0.1", true, {1, 0, 0, 1}},
        {"2", true, {2, 0, 0, 0}},
        {"1.2.3", true, {1, 2, 3, 0}},
        {"4294967295.0.0.1", true, {4294967295u, 0, 0, 1}},
        {"4294967296", false, {}},
        {"1.2.3.4.5", false, {}},
        {"", false, {}},
        {"1..2", false, {}},
        {"1.2.", false, {}},
        {".1", false, {}},
        {"1.-2", false, {}},
        {"1.2a", false, {}},
        {" 1.2", false, {}},
        {"99999999999", false, {}},
    };
    for (const Case& c : cases) {
        std::optional<Version> v = parseVersion(c.text);
        EXPECT_EQ(v.has_value(), c.valid) << c.text;
        if (v && c.valid) {
            EXPECT_EQ(*v, c.version) << c.text;
        }
    }
}

TEST(FeedTest, ComparesVersionsPartByPart) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"1.0.0.2", "1.0.0.1", 1}, {"1.0.0.1", "1.0.0.1", 0}, {"1.0", "1.0.0.0", 0},
        {"1.0.0.1", "1.1", -1},    {"1.10", "1.9", 1},        {"2", "1.99.99.99", 1},
        {"0.9.9.9", "1", -1},
    };
    for (const Case& c : cases) {
        int result = compareVersions(*parseVersion(c.a), *parseVersion(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST(FeedTest, ReadsAWellFormedFeed) {
    const std::string hash(64, 'A');
    std::optional<Feed> feed = parseFeed("\xEF\xBB\xBF# Quandril\r\n\r\n  version = 1.0.0.2 \r\n"
                                         "url=https://updates.quandril.invalid/Setup.exe?x=1&y=2\r\n"
                                         "channel=stable\r\nsha256=" + hash + "\r\n");
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->version, (Version{1, 0, 0, 2}));
    EXPECT_EQ(feed->installerUrl, L"https://updates.quandril.invalid/Setup.exe?x=1&y=2");
    EXPECT_EQ(feed->sha256, std::string(64, 'a'));  // compared in lower case later
}

TEST(FeedTest, RefusesFeedsItCannotTrust) {
    const std::string hash(64, 'b');
    const std::string url = "url=http://127.0.0.1/a.exe\n";
    struct Case {
        const char* why;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"no version", url + "sha256=" + hash},
        {"no url", "version=2\nsha256=" + hash},
        {"no checksum", "version=2\n" + url},
        {"bad version", "version=2.x\n" + url + "sha256=" + hash},
        {"short checksum", "version=2\n" + url + "sha256=" + hash.substr(1)},
        {"long checksum", "version=2\n" + url + "sha256=" + hash + "0"},
        {"checksum not hex", "version=2\n" + url + "sha256=" + std::string(63, 'b') + "g"},
        {"two versions", "version=2\nversion=3\n" + url + "sha256=" + hash},
        {"two urls", "version=2\n" + url + url + "sha256=" + hash},
        {"file url", "version=2\nurl=file:///C:/a.exe\nsha256=" + hash},
        {"relative url", "version=2\nurl=/a.exe\nsha256=" + hash},
        {"line without key", "version=2\n" + url + "sha256=" + hash + "\ngarbage"},
        {"an HTML page", "<html><body>Not found</body></html>"},
        {"not UTF-8", "version=2\nurl=http://127.0.0.1/\xFF.exe\nsha256=" + hash},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(parseFeed(c.text)) << c.why;
}

TEST(FeedTest, AcceptsOnlyAbsoluteHttpAddresses) {
    struct Case {
        const wchar_t* url;
        bool ok;
    } cases[] = {
        {L"http://127.0.0.1:8080/feed", true},
        {L"HTTPS://updates.quandril.invalid/quandril.feed", true},
        {L"http://", false},
        {L"ftp://host/feed", false},
        {L"file:///C:/feed", false},
        {L"\\\\server\\share\\feed", false},
        {L"http://host/a\r\nHost: evil", false},
        {L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isHttpUrl(c.url), c.ok) << c.url;
}

TEST(FeedTest, ChecksAtMostOncePerInterval) {
    const std::int64_t now = 1'800'000'000;
    const std::int64_t day = 86400;
    struct Case {
        const char* why;
        std::int64_t last;
        std::int64_t interval;
        bool due;
    } cases[] = {
        {"never checked", 0, day, true},
        {"an hour ago", now - 3600, day, false},
        {"a second short of a day", now - day + 1, day, false},
        {"exactly a day ago", now - day, day, true},
        {"two days ago", now - 2 * day, day, true},
        {"clock set back", now + 3600, day, true},
        {"no interval", now, 0, true},
        {"negative interval", now, -5, true},
        {"garbage record", -12345, day, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isCheckDue(now, c.last, c.interval), c.due) << c.why;
}

TEST(FeedTest, MakesFileNameParts) {
    struct Case {
        const wchar_t* name;
        const wchar_t* part;
    } cases[] = {
        {L"Quandrix", L"Quandrix"},
        {L"a/b\\c:d*e?f\"g<h>i|j", L"a_b_c_d_e_f_g_h_i_j"},
        {L"trailing. .", L"trailing"},
        {L"", L"update"},
        {L"...", L"update"},
        {L"tab\there", L"tab_here"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileNamePart(c.name), c.part) << c.name;
}
