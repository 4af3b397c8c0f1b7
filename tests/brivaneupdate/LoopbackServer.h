// A tiny HTTP server on 127.0.0.1, inside the test process: each path has a
// canned reply, and the server counts the requests for each.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brivaneup_test {

struct Reply {
    int status = 200;
    std::string body;
    bool hang = false;      // read the request, then never answer
    bool truncate = false;  // promise more bytes than are sent, then hang up
};

class LoopbackServer {
public:
    LoopbackServer();   // listens on a free loopback port
    ~LoopbackServer();  // hangs up on every connection and waits for its threads
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void set(const std::string& path, Reply reply);
    int hits(const std::string& path);
    std::wstring url(const std::string& path) const;
    int port() const { return port_; }

private:
    void acceptLoop();
    void serve(UINT_PTR connection);  // a SOCKET: winsock2.h must come before windows.h, so it stays in the .cpp

    UINT_PTR listener_ = ~UINT_PTR(0);
    int port_ = 0;
    HANDLE stop_ = nullptr;  // manual-reset: set when the server shuts down
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::map<std::string, int> hits_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

// A URL on the loopback address where nothing listens.
std::wstring closedPortUrl();

}  // namespace brivaneup_test
