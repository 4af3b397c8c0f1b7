// Turning the converter's console text into numbers: the probed duration and
// the percentage of a converting run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

// Seconds of the first "Duration:" field (ended by the next ","), or 0.
int32_t durationFromProbe(const std::string& text);

// Seconds of the first "time=" field (ended by the next space), or 0.
int32_t firstRecordTime(const std::string& text);

// seconds * 100 / duration, cut toward zero; negative when the quotient does
// not fit, which the task list clamps to 0. duration must not be 0.
int32_t percentOf(int32_t seconds, int32_t duration);

// Collects chunks of output until the collected text ends a line. Keeps only
// the last kLimit bytes, so a converter that never ends a line cannot make
// it grow without bound.
class LineAccumulator {
public:
    static constexpr size_t kLimit = 64 * 1024;

    // True when the collected text now ends with CR or LF.
    bool append(const std::string& chunk);
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
};

}  // namespace engine
