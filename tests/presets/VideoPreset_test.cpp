#include "presets/VideoPreset.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The strings exactly as the converter receives them, typed out whole here so
// that a slip in the split literals of the table shows up.
struct ExpectedRow {
    int index;
    const wchar_t* name;
    const wchar_t* parameters;
    size_t parametersLength;
};

const ExpectedRow kExpected[] = {
    {0, L"MPEG-4 H.264 video (high quality)",
     L"-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 -rc_lookahead 50 -threads 0", 103},
    {1, L"MPEG-4 H.264 video (super high quality)",
     L"-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 -rc_lookahead 60 -threads 0", 103},
    {2, L"MPEG-4 H.264 video (very high quality)",
     L"-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 -rc_lookahead 60 -threads 0", 103},
    {3, L"MP4 Fullscreen",
     L"-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v 1250k -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
     433},
    {4, L"MP4 Widescreen",
     L"-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect 16:9 -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
     434},
};

TEST(FlvMp4, OffersTheFivePresetsInOrder) {
    std::unique_ptr<VideoPreset> family = std::make_unique<FlvMp4>();
    ASSERT_EQ(family->presetCount(), 5);
    for (const ExpectedRow& row : kExpected) {
        SCOPED_TRACE(row.index);
        EXPECT_EQ(family->presetName(row.index), row.name);
        EXPECT_EQ(family->presetParameters(row.index), row.parameters);
        EXPECT_EQ(family->presetParameters(row.index).size(), row.parametersLength);
    }
}

TEST(FlvMp4, OutputExtensionIsMp4WithoutDot) {
    FlvMp4 family;
    EXPECT_STREQ(family.outputExtension(), L"mp4");
}

// A family whose table ends after `rows` rows, or has none at all.
class TestFamily : public VideoPreset {
public:
    explicit TestFamily(const PresetEntry* table) : VideoPreset(table) {}
    const wchar_t* outputExtension() const override { return L"tst"; }
};

TEST(VideoPreset, IndexesOutsideTheTableGiveEmptyText) {
    FlvMp4 family;
    for (int index : {-1, -1000, 5, 6, 1 << 30}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(family.presetName(index), L"");
        EXPECT_EQ(family.presetParameters(index), L"");
    }
}

TEST(VideoPreset, FamilyWithoutTableOffersNothing) {
    TestFamily family(nullptr);
    EXPECT_EQ(family.presetCount(), 0);
    for (int index : {-1, 0, 1}) {
        EXPECT_EQ(family.presetName(index), L"");
        EXPECT_EQ(family.presetParameters(index), L"");
    }
}

TEST(VideoPreset, TheNameColumnAloneEndsTheTable) {
    // A row with a name but no parameters still counts; the row after the
    // first null name is never reached.
    static const PresetEntry table[] = {
        {L"only", nullptr},
        {nullptr, L"ignored"},
        {L"hidden", L"-x"},
        {nullptr, nullptr},
    };
    TestFamily family(table);
    EXPECT_EQ(family.presetCount(), 1);
    EXPECT_EQ(family.presetName(0), L"only");
    EXPECT_EQ(family.presetParameters(0), L"");
    EXPECT_EQ(family.presetName(2), L"");
}

}  // namespace
