// The stop request: "q" on standard input (a pipe, a file or a console), or
// Ctrl+C / Ctrl+Break. Standard input is read by a thread of its own, so the
// conversion never waits for it.
#pragma once

namespace mirovex {

enum class StopReason { None, Key, Signal };

// Starts watching; without `readStdin` (-nostdin) only the console signals count.
void stopWatchStart(bool readStdin);
StopReason stopRequested();

// True when a byte string holds the stop key.
bool holdsStopKey(const char* data, unsigned long size);

}  // namespace mirovex
