#include "converter/Filters.h"

#include <gtest/gtest.h>

namespace {

TEST(Filters, VideoChainPutsTheUserChainFirstAndTheRateLast) {
    struct Case {
        mirovex::VideoGraphOutput out;
        const char* chain;
    };
    mirovex::VideoGraphOutput preset3;
    preset3.userChain = "scale=640:480";
    preset3.pixelFormats = "yuv420p|yuv444p";
    preset3.frameRate = AVRational{2997, 100};
    mirovex::VideoGraphOutput sized;
    sized.width = 320;
    sized.height = 240;
    sized.pixelFormats = "yuv420p";
    const Case cases[] = {
        {preset3, "scale=640:480,format=pix_fmts=yuv420p|yuv444p,fps=fps=2997/100:start_time=0"},
        {sized, "scale=320:240,format=pix_fmts=yuv420p"},
        {mirovex::VideoGraphOutput{}, "null"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mirovex::videoChain(c.out), c.chain);
}

TEST(Filters, AudioChainEndsInTheEncodersFormat) {
    mirovex::AudioGraphOutput out;
    EXPECT_EQ(mirovex::audioChain(out), "anull");
    out.sampleFormats = "fltp";
    out.sampleRates = "48000";
    EXPECT_EQ(mirovex::audioChain(out), "aformat=sample_fmts=fltp:sample_rates=48000");
    out.channelLayouts = "stereo";
    out.userChain = "volume=2";
    EXPECT_EQ(mirovex::audioChain(out),
              "volume=2,aformat=sample_fmts=fltp:sample_rates=48000:channel_layouts=stereo");
}

// Real graphs for the preset chains: they configure with the filters this build has.
TEST(Filters, PresetGraphsConfigure) {
    mirovex::VideoGraphInput vin;
    vin.width = 320;
    vin.height = 240;
    vin.pixelFormat = AV_PIX_FMT_YUV420P;
    vin.timeBase = AVRational{1, 1000};
    vin.frameRate = AVRational{25, 1};
    mirovex::VideoGraphOutput vout;
    vout.userChain = "scale=704:384";
    vout.pixelFormats = "yuv420p";
    vout.frameRate = AVRational{2997, 100};
    mirovex::FilterGraph vg;
    ASSERT_EQ(mirovex::buildVideoGraph(vin, vout, vg), 0);
    EXPECT_EQ(av_buffersink_get_w(vg.sink), 704);
    EXPECT_EQ(av_buffersink_get_h(vg.sink), 384);
    EXPECT_EQ(av_q2d(av_buffersink_get_frame_rate(vg.sink)), 29.97);

    mirovex::AudioGraphInput ain;
    ain.sampleRate = 22050;
    ain.sampleFormat = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ain.layout, 1);
    ain.timeBase = AVRational{1, 22050};
    mirovex::AudioGraphOutput aout;
    aout.sampleFormats = "fltp";
    aout.sampleRates = "48000";
    aout.channelLayouts = "stereo";
    mirovex::FilterGraph ag;
    ASSERT_EQ(mirovex::buildAudioGraph(ain, aout, ag), 0);
    EXPECT_EQ(av_buffersink_get_sample_rate(ag.sink), 48000);
    EXPECT_EQ(av_buffersink_get_channels(ag.sink), 2);

    mirovex::VideoGraphOutput bad;
    bad.userChain = "nosuchfilter=1";
    mirovex::FilterGraph none;
    EXPECT_LT(mirovex::buildVideoGraph(vin, bad, none), 0);
}

}  // namespace
