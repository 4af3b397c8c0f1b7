// Opening the input: the demuxer, its description, and a decoder per stream.
#pragma once

#include "converter/Ffmpeg.h"
#include "converter/Options.h"

namespace mirovex {

// Opens and probes the input file; negative AVERROR on failure.
int openInput(const FileOptions& input, InputContextPtr& out);

// The best stream of a type (FFmpeg's default choice), or -1.
int bestStream(AVFormatContext* ic, AVMediaType type);

// A decoder for one stream, with the input's codec options for that stream.
int openDecoder(AVFormatContext* ic, int streamIndex, const FileOptions& input,
                CodecContextPtr& out);

}  // namespace mirovex
