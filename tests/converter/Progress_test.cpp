#include "converter/Progress.h"

#include <gtest/gtest.h>

namespace {

using mirovex::formatMediaTime;
using mirovex::formatProgressLine;
using mirovex::ProgressState;

TEST(Progress, MediaTime) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "00:00:00.00"},
        {41230000, "00:00:41.23"},
        {83450000, "00:01:23.45"},
        {83459999, "00:01:23.45"},  // hundredths are cut, as FFmpeg does
        {3723000000LL, "01:02:03.00"},
        {360000000000LL, "100:00:00.00"},
        {-1500000, "-00:00:01.50"},
    };
    for (const auto& [us, text] : cases)
        EXPECT_EQ(formatMediaTime(us), text) << us;
}

TEST(Progress, RecordsInFfmpegsForm) {
    ProgressState running;
    running.hasVideo = true;
    running.frames = 75;
    running.quality = 28.0f;
    running.sizeBytes = 256 * 1024;
    running.timeUs = 3000000;
    running.elapsedSeconds = 3.0;

    ProgressState last = running;
    last.last = true;

    ProgressState audioOnly;
    audioOnly.sizeBytes = 1024;
    audioOnly.timeUs = 2000000;
    audioOnly.elapsedSeconds = 0.5;

    ProgressState start;
    start.hasVideo = true;
    start.sizeBytes = 0;

    ProgressState slow = running;
    slow.elapsedSeconds = 20;
    slow.dup = 3;

    const std::pair<ProgressState, const char*> cases[] = {
        {running, "frame=   75 fps= 25 q=28.0 size=     256kB time=00:00:03.00 bitrate= 699.1kbits/s speed=   1x    \r"},
        {last, "frame=   75 fps= 25 q=28.0 Lsize=     256kB time=00:00:03.00 bitrate= 699.1kbits/s speed=   1x    \n"},
        {audioOnly, "size=       1kB time=00:00:02.00 bitrate=   4.1kbits/s speed=   4x    \r"},
        {start, "frame=    0 fps=0.0 q=-1.0 size=       0kB time=N/A bitrate=N/A speed=N/A    \r"},
        {slow, "frame=   75 fps=3.8 q=28.0 size=     256kB time=00:00:03.00 bitrate= 699.1kbits/s dup=3 drop=0 speed=0.15x    \r"},
    };
    for (const auto& [state, text] : cases)
        EXPECT_EQ(formatProgressLine(state), text);
}

// The application reads "time=" up to the next space, and a record only when
// the text ends in CR or LF.
TEST(Progress, TimeFieldIsFollowedByASpaceAndTheRecordEndsALine) {
    ProgressState s;
    s.timeUs = 41230000;
    s.sizeBytes = 10;
    const std::string line = formatProgressLine(s);
    const auto at = line.find("time=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(line.substr(at + 5, 12), "00:00:41.23 ");
    EXPECT_EQ(line.back(), '\r');
}

}  // namespace
