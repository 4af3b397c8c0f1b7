#include "engine/ConvertCore.h"
#include "engine/OutputParsing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ParseTime, ReadsThreeFieldsToTheNearestSecond) {
    struct Case {
        const char* text;
        int32_t seconds;
    };
    const Case cases[] = {
        {"1:02:03", 3723},      {"00:01:23.45", 83},   {"00:01:23.50", 84}, {"00:00:00.49", 0},
        {"00:00:00.50", 1},     {"01:23", 0},          {"1:2:3:", 3723},    {"1:2", 0},
        {"1:2:", 0},            {"", 0},               {"a:b:c", 0},        {" 00:00:10.00", 10},
        {"1::3", 3603},         {"1:2:3:4", 0},        {"00:00:41.50", 42}, {"10:00:00.00", 36000},
        {"1e999:0:0", 0},  // not a finite number: no undefined conversion
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseTime(c.text), c.seconds) << '"' << c.text << '"';
}

TEST(ProbeText, TheFirstDurationFieldEndedByACommaCounts) {
    struct Case {
        const char* text;
        int32_t seconds;
    };
    const Case cases[] = {
        {"Input #0, flv\n  Duration: 00:01:23.45, start: 0.000000\n", 83},
        {"  Duration: 00:01:23.50, start", 84},
        {"  Duration: N/A, start: 0.0", 0},
        {"no such field here, at all", 0},
        {"  Duration: 00:01:23.45 and no comma", 0},
        {"Duration: 00:00:10.00, x\nDuration: 00:00:20.00, y", 10},
        {"", 0},
        // The comma is searched from where "Duration:" starts, not where the field starts.
        {"Duration:00:00:05.00,", 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::durationFromProbe(c.text), c.seconds) << c.text;
}

TEST(ProgressPercent, IsTimeOverDurationCutDown) {
    struct Case {
        int32_t seconds, duration, percent;
    };
    const Case cases[] = {{10, 100, 10}, {1, 3, 33}, {2, 3, 66}, {101, 100, 101}, {-1, 100, -1}, {0, 5, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(engine::percentOf(c.seconds, c.duration), c.percent) << c.seconds << "/" << c.duration;
}

// parseProgress on a core whose current task has a known duration.
class ProgressParsing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(core_.addTask(L"C:\\v\\a.flv"));
        core_.currentIndex = 0;
    }
    void feed(int32_t duration, const std::vector<std::string>& chunks) {
        core_.tasks[0]->duration = duration;
        for (const std::string& chunk : chunks)
            core_.parseProgress(chunk);
    }
    int32_t percent() { return core_.tasks[0]->percent; }

    ConvertCore core_;
};

TEST_F(ProgressParsing, FollowsRecordsAcrossChunks) {
    struct Case {
        const char* name;
        int32_t duration;
        std::vector<std::string> chunks;
        int32_t percent;
    };
    const std::string rec10 = "frame=  1 time=00:00:10.00 bitrate=1\r";
    const Case cases[] = {
        {"one record ending in CR", 100, {rec10}, 10},
        {"ending in LF", 100, {"time=00:00:10.00 x\n"}, 10},
        {"duration 3", 3, {"time=00:00:01.00 x\r"}, 33},
        {"split inside the field", 100, {"frame=  1 time=00:0", "0:10.00 bitrate=1\r"}, 10},
        {"not yet ended", 100, {"time=00:00:10.00 bitrate="}, 0},
        {"first record of several decides", 100, {"time=00:00:10.00 a\rtime=00:00:20.00 b", "\r"}, 10},
        {"past the end stores 100", 100, {"time=00:01:41.00 x\r"}, 100},
        {"under half a second changes nothing", 100, {rec10, "time=00:00:00.30 x\r"}, 10},
        {"no space after the field", 100, {"time=00:00:10.00\r"}, 0},
        {"no duration: nothing collected", 0, {rec10}, 0},
        {"later record raises it", 100, {rec10, "time=00:00:50.00 x\r"}, 50},
    };
    for (const Case& c : cases) {
        core_.tasks[0]->percent = 0;
        feed(c.duration, c.chunks);
        EXPECT_EQ(percent(), c.percent) << c.name;
        // Leave nothing collected for the next case.
        feed(100, {"\n"});
    }
}

TEST_F(ProgressParsing, WithoutDurationAChunkIsDroppedNotKept) {
    // Without a duration the chunk is dropped, so it cannot join a later record.
    feed(0, {"time=00:00:90.00 "});
    feed(100, {"x\r"});
    EXPECT_EQ(percent(), 0);
}

TEST(LineAccumulator, KeepsOnlyTheTailOfAnEndlessLine) {
    engine::LineAccumulator lines;
    const std::string block(1024, 'x');
    for (int i = 0; i < 1024; ++i)
        EXPECT_FALSE(lines.append(block));
    EXPECT_EQ(lines.text().size(), engine::LineAccumulator::kLimit);
    EXPECT_TRUE(lines.append("time=00:00:10.00 \r"));
    EXPECT_EQ(lines.text().size(), engine::LineAccumulator::kLimit);
    EXPECT_EQ(engine::firstRecordTime(lines.text()), 10);
}

TEST_F(ProgressParsing, AConverterThatNeverEndsALineCannotGrowTheParser) {
    const std::string record = "frame=  1 time=00:00:10.00 bitrate=1 ";
    core_.tasks[0]->duration = 100;
    for (int i = 0; i < 20000; ++i)  // about 740 KB without CR or LF
        core_.parseProgress(record);
    EXPECT_EQ(percent(), 0);
    core_.parseProgress("time=00:00:30.00 x\r");
    // The kept tail still starts inside the flood, whose records come first.
    EXPECT_EQ(percent(), 10);
}

}  // namespace
