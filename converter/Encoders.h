// Choosing and opening the encoders, with the command line's options for each.
#pragma once

#include "converter/Ffmpeg.h"
#include "converter/Options.h"

#include <string>
#include <vector>

namespace mirovex {

// The encoder by name (legacy names already mapped), or the muxer's default
// for the type. Null when there is none; `name` says what was asked for.
const AVCodec* findEncoder(const std::string& name, const AVOutputFormat* format,
                           AVMediaType type);

// What the encoder's formats allow, for the format filters.
std::string pixelFormatList(const AVCodec* codec);
std::string sampleFormatList(const AVCodec* codec);
std::string sampleRateList(const AVCodec* codec);

struct EncoderSetup {
    const AVCodec* codec = nullptr;
    const std::vector<AvOption>* options = nullptr;  // the output file's AVOptions
    std::vector<bool>* used = nullptr;               // marks the options some stream took
    int streamIndex = 0;                             // index in the output file
    int indexInType = 0;
    AVRational aspect{0, 1};                         // -aspect; 0: from the filters
    bool globalHeader = false;
};

// Opens an encoder for what the filter graph's sink delivers.
int openEncoder(const EncoderSetup& setup, AVFilterContext* sink, CodecContextPtr& out);

}  // namespace mirovex
