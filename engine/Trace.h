// Diagnostic traces of the engine: the debugger output only, no log file.
#pragma once

#include <cstdio>  // __MINGW_PRINTF_FORMAT: the printf that vsnprintf is

namespace engine {

// A formatted 8-bit line, cut at 63 characters (the traces are short banners).
void trace(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
// 8-bit text as it is (a chunk of converter output).
void traceText(const char* text);
// The name of a failed platform call, then a line end.
void traceFailure(const wchar_t* call);

}  // namespace engine
