// Winsock first: it must precede windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "LoopbackServer.h"

#include <stdexcept>

namespace brivaneup_test {

namespace {

struct WinsockInit {
    WinsockInit() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

SOCKET listenOnLoopback(int& port) {
    static WinsockInit winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        throw std::runtime_error("socket failed");
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return s;
}

void sendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

LoopbackServer::LoopbackServer() {
    listener_ = listenOnLoopback(port_);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    SetEvent(stop_);
    closesocket(listener_);  // ends the accept loop
    acceptor_.join();
    for (std::thread& t : threads_)
        t.join();
    CloseHandle(stop_);
}

void LoopbackServer::set(const std::string& path, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = std::move(reply);
}

int LoopbackServer::hits(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return hits_[path];
}

std::wstring LoopbackServer::url(const std::string& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + std::wstring(path.begin(), path.end());
}

void LoopbackServer::acceptLoop() {
    while (true) {
        SOCKET connection = accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.emplace_back([this, connection] { serve(connection); });
    }
}

void LoopbackServer::serve(UINT_PTR connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        int n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<size_t>(n));
    }
    // "GET /path HTTP/1.1"
    size_t start = request.find(' ');
    size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    std::string path = end == std::string::npos ? std::string() : request.substr(start + 1, end - start - 1);

    Reply reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++hits_[path];
        auto found = replies_.find(path);
        if (found != replies_.end())
            reply = found->second;
        else
            reply.status = 404;
    }
    if (reply.hang) {
        WaitForSingleObject(stop_, INFINITE);
    } else {
        size_t promised = reply.body.size() + (reply.truncate ? 1000 : 0);
        sendAll(connection, "HTTP/1.1 " + std::to_string(reply.status) + " X\r\nContent-Length: " +
                                std::to_string(promised) + "\r\nConnection: close\r\n\r\n" + reply.body);
    }
    shutdown(connection, SD_BOTH);
    closesocket(connection);
}

std::wstring closedPortUrl() {
    int port = 0;
    SOCKET s = listenOnLoopback(port);
    closesocket(s);  // the port was free a moment ago and nothing listens on it now
    return L"http://127.0.0.1:" + std::to_wstring(port) + L"/feed";
}

}  // namespace brivaneup_test
