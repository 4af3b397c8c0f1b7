#include "engine/Trace.h"

#include <windows.h>

#include <cstdio>

namespace engine {

void trace(const char* format, ...) {
    char line[64];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    OutputDebugStringA(line);
}

void traceText(const char* text) { OutputDebugStringA(text); }

void traceFailure(const wchar_t* call) {
    OutputDebugStringW(call);
    OutputDebugStringW(L"\n");
}

}  // namespace engine
