// The filter graph of one stream: the user's chain (-vf / -af) followed by
// what the encoder needs (size, pixel or sample format, rate, layout).
#pragma once

#include "converter/Ffmpeg.h"

#include <string>

namespace mirovex {

struct FilterGraph {
    FilterGraphPtr graph;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
};

struct VideoGraphInput {
    int width = 0;
    int height = 0;
    int pixelFormat = -1;
    AVRational timeBase{0, 1};
    AVRational sampleAspect{0, 1};
    AVRational frameRate{0, 1};
};

struct VideoGraphOutput {
    std::string userChain;      // -vf, may be empty
    int width = 0;              // 0: whatever the chain makes
    int height = 0;
    std::string pixelFormats;   // "yuv420p|yuv422p|..."
    AVRational frameRate{0, 1}; // constant output rate; 0: none
    std::string scaleFlags;     // sws options, "flags=bicubic" by default
};

struct AudioGraphInput {
    int sampleRate = 0;
    int sampleFormat = -1;
    AVChannelLayout layout{};
    AVRational timeBase{0, 1};
};

struct AudioGraphOutput {
    std::string userChain;      // -af, may be empty
    std::string sampleFormats;  // "fltp"
    std::string sampleRates;    // "48000" or a list the encoder takes
    std::string channelLayouts; // "stereo"; empty: keep
    std::string resampleOptions;
};

// The filter descriptions, separate from the graph so they can be checked.
std::string videoChain(const VideoGraphOutput& out);
std::string audioChain(const AudioGraphOutput& out);

int buildVideoGraph(const VideoGraphInput& in, const VideoGraphOutput& out, FilterGraph& graph);
int buildAudioGraph(const AudioGraphInput& in, const AudioGraphOutput& out, FilterGraph& graph);

}  // namespace mirovex
