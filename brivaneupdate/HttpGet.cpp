#include "brivaneupdate/HttpGet.h"

#include "win/Scoped.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace brivaneup {

namespace {

class Deadline {
public:
    explicit Deadline(DWORD totalMs) : end_(GetTickCount64() + totalMs) {}
    DWORD remaining() const {
        ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
    }

private:
    ULONGLONG end_;
};

// Gives the next blocking call no more than what is left of the whole
// request. WinHTTP reads 0 as "wait for ever", so there is always 1 ms at
// least; a request with nothing left is not continued at all.
bool limitNextCall(HINTERNET request, const HttpLimits& limits, const Deadline& deadline) {
    DWORD left = deadline.remaining();
    if (left == 0)
        return false;
    DWORD connect = std::max<DWORD>(1, std::min(limits.connectMs, left));
    DWORD stall = std::max<DWORD>(1, std::min(limits.stallMs, left));
    WinHttpSetTimeouts(request, static_cast<int>(connect), static_cast<int>(connect),
                       static_cast<int>(stall), static_cast<int>(stall));
    // Wine's WinHTTP leaves the wait for the response unbounded after
    // WinHttpSetTimeouts (measured: it waited for the server to hang up); it
    // honours these two options.
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &stall, sizeof stall);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &stall, sizeof stall);
    return true;
}

HttpOutcome failure(HttpResult result, DWORD status = 0) {
    HttpOutcome outcome;
    outcome.error = GetLastError();
    outcome.status = status;
    // Wine reports an expired wait as the socket's WSAETIMEDOUT.
    bool expired = outcome.error == ERROR_WINHTTP_TIMEOUT || outcome.error == WSAETIMEDOUT;
    outcome.result = result == HttpResult::failed && expired ? HttpResult::timedOut : result;
    return outcome;
}

bool isLoopback(std::wstring host) {
    std::transform(host.begin(), host.end(), host.begin(), [](wchar_t c) { return std::towlower(c); });
    bool dottedNumbers = std::all_of(host.begin(), host.end(), [](wchar_t c) { return c == L'.' || (c >= L'0' && c <= L'9'); });
    return host == L"localhost" || host == L"::1" || host == L"[::1]" || (dottedNumbers && host.rfind(L"127.", 0) == 0);
}

// Content-Length as a 64-bit number; nothing when absent or unreadable.
std::optional<std::uint64_t> contentLength(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    std::uint64_t value = 0;
    int digits = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p < L'0' || *p > L'9' || ++digits > 19)
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(*p - L'0');
    }
    return digits ? std::optional<std::uint64_t>(value) : std::nullopt;
}

}  // namespace

HttpOutcome httpGet(std::wstring_view url, const std::wstring& userAgent, const HttpLimits& limits,
                    const std::function<bool(const char*, size_t)>& sink) {
    Deadline deadline(limits.totalMs);

    std::wstring address(url);
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        parts.dwHostNameLength == 0)
        return failure(HttpResult::badUrl);
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty())
        path = L"/";

    // No proxy can reach our own loopback address.
    DWORD access = isLoopback(host) ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    win::UniqueInternet session(
        WinHttpOpen(userAgent.c_str(), access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return failure(HttpResult::failed);
    win::UniqueInternet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection)
        return failure(HttpResult::failed);
    DWORD flags = WINHTTP_FLAG_REFRESH | (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    win::UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request)
        return failure(HttpResult::failed);

    if (!limitNextCall(request.get(), limits, deadline))
        return failure(HttpResult::timedOut);
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return failure(HttpResult::failed);
    if (!limitNextCall(request.get(), limits, deadline))
        return failure(HttpResult::timedOut);
    if (!WinHttpReceiveResponse(request.get(), nullptr))
        return failure(HttpResult::failed);

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return failure(HttpResult::failed);
    if (status != 200)
        return failure(HttpResult::notFound, status);

    std::optional<std::uint64_t> expected = contentLength(request.get());
    if (expected && *expected > limits.maxBytes)
        return failure(HttpResult::tooLarge, status);

    std::vector<char> buffer(64 * 1024);
    std::uint64_t received = 0;
    while (true) {
        if (!limitNextCall(request.get(), limits, deadline))
            return failure(HttpResult::timedOut, status);
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read))
            return failure(HttpResult::failed, status);
        if (read == 0)
            break;
        received += read;
        if (received > limits.maxBytes)
            return failure(HttpResult::tooLarge, status);
        if (!sink(buffer.data(), read))
            return failure(HttpResult::aborted, status);
    }
    if (expected && received != *expected)
        return failure(HttpResult::incomplete, status);

    HttpOutcome outcome;
    outcome.result = HttpResult::ok;
    outcome.status = status;
    return outcome;
}

}  // namespace brivaneup
