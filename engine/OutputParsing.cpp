#include "engine/OutputParsing.h"

#include "engine/ConvertCore.h"
#include "engine/TaskListLock.h"

#include <cmath>
#include <cstdlib>
#include <vector>

int32_t parseTime(const std::string& text) {
    // Fields as successive reads up to ':': "1:2:3:" has three fields, "1::3"
    // three with an empty middle one, "" none.
    std::vector<std::string> fields;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t colon = text.find(':', pos);
        if (colon == std::string::npos) {
            fields.push_back(text.substr(pos));
            break;
        }
        fields.push_back(text.substr(pos, colon - pos));
        pos = colon + 1;
    }
    if (fields.size() != 3)
        return 0;
    const double h = atof(fields[0].c_str());
    const double m = atof(fields[1].c_str());
    const double s = atof(fields[2].c_str());
    const double sum = h * 3600.0 + m * 60.0 + s + 0.5;
    // Converting a value outside int64's range (or not a number) is undefined.
    if (!(std::fabs(sum) < 9.2e18))
        return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(sum))));
}

namespace engine {

namespace {

// parseTime of the text between `key` and the first `end` after it.
int32_t fieldTime(const std::string& text, const char* key, size_t keyLength, char end) {
    size_t start = text.find(key);
    if (start == std::string::npos)
        return 0;
    size_t stop = text.find(end, start + keyLength);
    if (stop == std::string::npos)
        return 0;
    return parseTime(text.substr(start + keyLength, stop - start - keyLength));
}

}  // namespace

int32_t durationFromProbe(const std::string& text) { return fieldTime(text, "Duration:", 9, ','); }

int32_t firstRecordTime(const std::string& text) { return fieldTime(text, "time=", 5, ' '); }

int32_t percentOf(int32_t seconds, int32_t duration) {
    const double quotient =
        static_cast<double>(static_cast<uint32_t>(seconds)) * 100.0 / static_cast<uint32_t>(duration);
    if (quotient >= 2147483648.0)
        return -1;
    return static_cast<int32_t>(quotient);
}

bool LineAccumulator::append(const std::string& chunk) {
    text_ += chunk;
    if (text_.size() > kLimit)
        text_.erase(0, text_.size() - kLimit);
    if (text_.empty())
        return false;
    const char last = text_.back();
    return last == '\r' || last == '\n';
}

}  // namespace engine

int32_t ConvertCore::probeDuration(const wchar_t* inputPath) {
    std::wstring script = writeScript(nullptr, inputPath, nullptr);
    std::string captured;
    runProcess2(script.c_str(), &captured);
    DeleteFileW(script.c_str());
    if (captured.empty())
        return 0;
    return engine::durationFromProbe(captured);
}

void ConvertCore::parseProgress(const std::string& chunk) {
    const int32_t index = currentIndex;
    int32_t duration = 0;
    {
        engine::TaskListLock lock(lockEvent);
        if (index >= 0 && index < static_cast<int32_t>(tasks.size()))
            duration = tasks[index]->duration;
    }
    if (duration == 0)
        return;

    if (!lines_.append(chunk))
        return;
    // When several records have collected, the first one decides.
    const int32_t seconds = engine::firstRecordTime(lines_.text());
    if (seconds != 0)
        setTaskPercent(index, engine::percentOf(seconds, duration));
    lines_.clear();
}
