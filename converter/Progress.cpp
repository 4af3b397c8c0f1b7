#include "converter/Progress.h"

#include <cinttypes>
#include <cstdio>

namespace mirovex {

std::string formatMediaTime(int64_t us) {
    const uint64_t mag = us < 0 ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
    const uint64_t secsTotal = mag / 1000000;
    const uint64_t frac = mag % 1000000;
    const uint64_t hours = secsTotal / 3600;
    const unsigned mins = static_cast<unsigned>(secsTotal / 60 % 60);
    const unsigned secs = static_cast<unsigned>(secsTotal % 60);
    char buf[64];
    snprintf(buf, sizeof buf, "%s%02" PRIu64 ":%02u:%02u.%02u", us < 0 ? "-" : "", hours, mins,
             secs, static_cast<unsigned>(frac * 100 / 1000000));
    return buf;
}

std::string formatProgressLine(const ProgressState& s) {
    std::string line;
    char buf[256];
    if (s.hasVideo) {
        const double t = s.elapsedSeconds;
        const float fps = t > 1 ? static_cast<float>(s.frames / t) : 0.0f;
        snprintf(buf, sizeof buf, "frame=%5" PRId64 " fps=%3.*f q=%3.1f ", s.frames,
                 fps < 9.95f ? 1 : 0, fps, s.quality);
        line += buf;
        if (s.last)
            line += "L";
    }
    if (s.sizeBytes < 0) {
        line += "size=N/A time=";
    } else {
        snprintf(buf, sizeof buf, "size=%8.0fkB time=", s.sizeBytes / 1024.0);
        line += buf;
    }
    const bool known = s.timeUs != INT64_MIN;
    line += known ? formatMediaTime(s.timeUs) + " " : std::string("N/A ");

    const double bitrate = known && s.timeUs != 0 && s.sizeBytes >= 0
                               ? s.sizeBytes * 8 / (s.timeUs / 1000.0)
                               : -1;
    if (bitrate < 0) {
        line += "bitrate=N/A";
    } else {
        snprintf(buf, sizeof buf, "bitrate=%6.1fkbits/s", bitrate);
        line += buf;
    }
    if (s.dup || s.drop) {
        snprintf(buf, sizeof buf, " dup=%" PRId64 " drop=%" PRId64, s.dup, s.drop);
        line += buf;
    }
    const double speed = known && s.elapsedSeconds > 0 ? s.timeUs / 1e6 / s.elapsedSeconds : -1;
    if (speed < 0) {
        line += " speed=N/A";
    } else {
        snprintf(buf, sizeof buf, " speed=%4.3gx", speed);
        line += buf;
    }
    line += "    ";
    line += s.last ? '\n' : '\r';
    return line;
}

}  // namespace mirovex
