#include "converter/Stop.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace mirovex {
namespace {

std::atomic<int> g_reason{static_cast<int>(StopReason::None)};

void request(StopReason why) {
    int none = static_cast<int>(StopReason::None);
    g_reason.compare_exchange_strong(none, static_cast<int>(why));
}

BOOL WINAPI onConsoleSignal(DWORD) {
    request(StopReason::Signal);
    return TRUE;  // handled: the conversion loop finishes the output and exits
}

// A console gives key events, not bytes: reading them does not need Enter.
void watchConsole(HANDLE in) {
    INPUT_RECORD records[16];
    DWORD count = 0;
    while (ReadConsoleInputW(in, records, 16, &count)) {
        for (DWORD i = 0; i < count; ++i) {
            const INPUT_RECORD& r = records[i];
            if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown &&
                r.Event.KeyEvent.uChar.UnicodeChar == L'q') {
                request(StopReason::Key);
                return;
            }
        }
    }
}

// A pipe or a file: a blocking read in this thread, which ends at the end of
// the input or when the process exits.
void watchStream(HANDLE in) {
    char buf[64];
    DWORD got = 0;
    while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {
        if (holdsStopKey(buf, got)) {
            request(StopReason::Key);
            return;
        }
    }
}

}  // namespace

bool holdsStopKey(const char* data, unsigned long size) {
    return size > 0 && std::memchr(data, 'q', size) != nullptr;
}

void stopWatchStart(bool readStdin) {
    SetConsoleCtrlHandler(onConsoleSignal, TRUE);
    if (!readStdin)
        return;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!in || in == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode))
        std::thread(watchConsole, in).detach();
    else
        std::thread(watchStream, in).detach();
}

StopReason stopRequested() { return static_cast<StopReason>(g_reason.load()); }

}  // namespace mirovex
