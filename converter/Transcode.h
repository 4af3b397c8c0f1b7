// One run of the converter: probe only (no output named), or convert the
// input into the output. Both print FFmpeg's console text and return the
// process's exit code.
#pragma once

#include "converter/Options.h"

#include <string>

namespace mirovex {

int runProbe(const CommandLine& line);
int runConversion(const CommandLine& line, const std::wstring& outputPath);

}  // namespace mirovex
