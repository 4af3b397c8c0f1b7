// One HTTP GET through WinHTTP, bounded in time and size, the body handed on
// piece by piece.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brivaneup {

struct HttpLimits {
    DWORD connectMs;         // name resolution and connection
    DWORD stallMs;           // longest wait for the answer or the next piece of the body
    DWORD totalMs;           // the whole request, first call to last byte
    std::uint64_t maxBytes;  // a longer body is refused
};

enum class HttpResult {
    ok,
    badUrl,      // not an absolute http or https address
    failed,      // no connection, a broken one, or a refused certificate
    notFound,    // an answer other than 200 (the status is in HttpOutcome)
    timedOut,
    tooLarge,
    incomplete,  // the connection ended before Content-Length bytes arrived
    aborted,     // the sink refused a piece
};

struct HttpOutcome {
    HttpResult result = HttpResult::failed;
    DWORD status = 0;  // the HTTP status, once an answer came
    DWORD error = 0;   // the platform's error code of the call that failed
};

// `sink` receives the body in pieces and returns false to stop the transfer.
HttpOutcome httpGet(std::wstring_view url, const std::wstring& userAgent, const HttpLimits& limits,
                    const std::function<bool(const char* data, size_t size)>& sink);

}  // namespace brivaneup
