#include "converter/Console.h"

#include "converter/Ffmpeg.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace mirovex {
namespace {

// Far more than a run writes between two reads of a live reader.
constexpr size_t kQueueLimit = 256 * 1024;

struct ConsoleQueue {
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable drained;
    std::string pending;
    bool writing = false;
    bool started = false;
};

ConsoleQueue& queue() {
    static ConsoleQueue* q = new ConsoleQueue;  // outlives every thread; never freed
    return *q;
}

void writeAll(HANDLE h, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 65536));
        if (!WriteFile(h, text.data() + done, chunk, &written, nullptr) || written == 0)
            return;
        done += written;
    }
}

void writerThread() {
    ConsoleQueue& q = queue();
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    std::unique_lock<std::mutex> guard(q.lock);
    for (;;) {
        q.wake.wait(guard, [&] { return !q.pending.empty(); });
        std::string text;
        text.swap(q.pending);
        q.writing = true;
        guard.unlock();
        if (err && err != INVALID_HANDLE_VALUE)
            writeAll(err, text);
        guard.lock();
        q.writing = false;
        if (q.pending.empty())
            q.drained.notify_all();
    }
}

}  // namespace

void consoleStart() {
    ConsoleQueue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (q.started)
        return;
    q.started = true;
    std::thread(writerThread).detach();
}

void consoleFinish(unsigned timeoutMs) {
    ConsoleQueue& q = queue();
    std::unique_lock<std::mutex> guard(q.lock);
    if (!q.started)
        return;
    q.drained.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                       [&] { return q.pending.empty() && !q.writing; });
}

void consoleWrite(std::string_view text) {
    ConsoleQueue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (!q.started) {
        // Before the writer runs (or in a test): straight to the handle.
        writeAll(GetStdHandle(STD_ERROR_HANDLE), std::string(text));
        return;
    }
    if (q.pending.size() + text.size() > kQueueLimit)
        return;
    q.pending.append(text);
    q.wake.notify_one();
}

void consolePrintf(const char* fmt, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    const int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0)
        consoleWrite(std::string_view(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1)));
}

void logCallback(void* avcl, int level, const char* fmt, va_list vl) {
    // As av_log_default_callback: the level filter, the "[name @ 0x...] "
    // prefix, and one line for a run of identical lines.
    static std::mutex lock;
    static int printPrefix = 1;
    static int repeated = 0;
    static char previous[1024];
    if (level > av_log_get_level())
        return;
    std::lock_guard<std::mutex> guard(lock);
    char line[1024];
    const int wasPrefix = printPrefix;
    av_log_format_line2(avcl, level, fmt, vl, line, sizeof line, &printPrefix);
    const size_t len = strlen(line);
    if (wasPrefix && len > 0 && line[len - 1] != '\r' && strcmp(line, previous) == 0) {
        ++repeated;
        return;
    }
    if (repeated > 0) {
        consolePrintf("    Last message repeated %d times\n", repeated);
        repeated = 0;
    }
    memcpy(previous, line, len + 1);
    consoleWrite(std::string_view(line, len));
}

}  // namespace mirovex
