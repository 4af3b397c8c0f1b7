// The progress record on standard error, in FFmpeg's form:
//   frame=   75 fps= 25 q=28.0 size=     256kB time=00:00:03.00 bitrate= 699.1kbits/s speed=1.01x
// a record ends in CR while the run goes on, the last one in LF.
#pragma once

#include <cstdint>
#include <string>

namespace mirovex {

struct ProgressState {
    bool hasVideo = false;
    int64_t frames = 0;
    float quality = -1.0f;       // the encoder's last quantiser (FFmpeg's "q=")
    int64_t sizeBytes = -1;      // bytes of output so far; negative when unknown
    int64_t timeUs = INT64_MIN;  // output media time in microseconds; INT64_MIN: none yet
    double elapsedSeconds = 0;   // wall time since the conversion began
    int64_t dup = 0;
    int64_t drop = 0;
    bool last = false;
};

// "HH:MM:SS.xx" with a leading "-" for a negative time; hundredths cut, not rounded.
std::string formatMediaTime(int64_t us);
std::string formatProgressLine(const ProgressState& s);

}  // namespace mirovex
