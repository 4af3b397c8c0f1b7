// Standard error, written by a thread of its own so that a reader who has
// stopped reading (a parent that only sends "q" now) can never hold the
// conversion up: when the queue is full, new text is dropped, never waited for.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace mirovex {

void consoleStart();
// Writes what is queued, waiting at most `timeoutMs` for a slow reader.
void consoleFinish(unsigned timeoutMs);
void consoleWrite(std::string_view text);
void consolePrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// FFmpeg's log callback, writing FFmpeg's own line format to the console queue.
void logCallback(void* avcl, int level, const char* fmt, va_list vl);

}  // namespace mirovex
