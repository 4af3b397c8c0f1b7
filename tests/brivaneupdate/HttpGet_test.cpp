#include "brivaneupdate/HttpGet.h"

#include "LoopbackServer.h"

#include <gtest/gtest.h>

using namespace brivaneup;
using brivaneup_test::LoopbackServer;
using brivaneup_test::Reply;

namespace {

constexpr HttpLimits kQuick = {2000, 2000, 2000, 1024};

struct Got {
    HttpOutcome outcome;
    std::string body;
    DWORD ms;
};

Got get(const std::wstring& url, const HttpLimits& limits = kQuick) {
    Got got;
    ULONGLONG start = GetTickCount64();
    got.outcome = httpGet(url, L"test", limits, [&](const char* data, size_t size) {
        got.body.append(data, size);
        return true;
    });
    got.ms = static_cast<DWORD>(GetTickCount64() - start);
    return got;
}

}  // namespace

TEST(HttpGetTest, ReportsEachOutcome) {
    LoopbackServer server;
    server.set("/ok", Reply{200, "hello", false, false});
    server.set("/empty", Reply{200, "", false, false});
    server.set("/gone", Reply{404, "not here", false, false});
    server.set("/error", Reply{500, "", false, false});
    server.set("/big", Reply{200, std::string(1025, 'x'), false, false});
    server.set("/cut", Reply{200, "partial", false, true});
    struct Case {
        std::wstring url;
        HttpResult result;
        DWORD status;
        const char* body;
    } cases[] = {
        {server.url("/ok"), HttpResult::ok, 200, "hello"},
        {server.url("/ok?x=1"), HttpResult::notFound, 404, ""},  // the query reaches the server
        {server.url("/empty"), HttpResult::ok, 200, ""},
        {server.url("/gone"), HttpResult::notFound, 404, ""},
        {server.url("/error"), HttpResult::notFound, 500, ""},
        {server.url("/big"), HttpResult::tooLarge, 200, ""},
        {server.url("/cut"), HttpResult::incomplete, 200, "partial"},
        {brivaneup_test::closedPortUrl(), HttpResult::failed, 0, ""},
        {L"ftp://127.0.0.1/feed", HttpResult::badUrl, 0, ""},
        {L"not a url", HttpResult::badUrl, 0, ""},
    };
    for (const Case& c : cases) {
        Got got = get(c.url);
        EXPECT_EQ(got.outcome.result, c.result) << c.url;
        EXPECT_EQ(got.outcome.status, c.status) << c.url;
        if (c.result != HttpResult::tooLarge) {
            EXPECT_EQ(got.body, c.body) << c.url;
        }
    }
}

TEST(HttpGetTest, StopsWhenTheSinkRefuses) {
    LoopbackServer server;
    server.set("/ok", Reply{200, "hello", false, false});
    HttpOutcome outcome = httpGet(server.url("/ok"), L"test", kQuick, [](const char*, size_t) { return false; });
    EXPECT_EQ(outcome.result, HttpResult::aborted);
}

// The bound holds in the request itself, not only in the caller's wait.
TEST(HttpGetTest, GivesUpOnAServerThatNeverAnswers) {
    LoopbackServer server;
    server.set("/hang", Reply{200, "", true, false});
    Got got = get(server.url("/hang"), HttpLimits{1500, 60000, 1500, 1024});
    EXPECT_EQ(got.outcome.result, HttpResult::timedOut);
    EXPECT_LT(got.ms, 1500u + 2000u);  // generous: the machine is shared
    EXPECT_EQ(server.hits("/hang"), 1);
}
