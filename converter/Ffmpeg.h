// The FFmpeg headers, and an owner for every context, frame and packet the
// converter makes: each is freed by its owner on every path.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace mirovex {

struct InputContextFree {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextFree>;

// An output context owns its I/O context too, once it has been opened.
struct OutputContextFree {
    void operator()(AVFormatContext* c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct FilterGraphFree {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;

struct FilterInOutFree {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutFree>;

// AVDictionary is handed around by address (AVDictionary**): the owner keeps
// the pointer in a member the calls can write.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&d_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    AVDictionary** address() { return &d_; }
    AVDictionary* get() const { return d_; }
    int set(const std::string& key, const std::string& value) {
        return av_dict_set(&d_, key.c_str(), value.c_str(), 0);
    }
    bool has(const char* key) const { return av_dict_get(d_, key, nullptr, 0) != nullptr; }

private:
    AVDictionary* d_ = nullptr;
};

// FFmpeg's text for an error code ("No such file or directory").
std::string errorText(int err);

}  // namespace mirovex
