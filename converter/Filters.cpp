#include "converter/Filters.h"

#include <cstdio>
#include <cstring>

namespace mirovex {
namespace {

void append(std::string& chain, const std::string& filter) {
    if (filter.empty())
        return;
    if (!chain.empty())
        chain += ',';
    chain += filter;
}

// Links source -> chain -> sink and configures the graph.
int linkChain(AVFilterGraph* g, AVFilterContext* src, AVFilterContext* sink,
              const std::string& chain) {
    FilterInOutPtr outputs(avfilter_inout_alloc());
    FilterInOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs)
        return AVERROR(ENOMEM);
    outputs->name = av_strdup("in");
    outputs->filter_ctx = src;
    outputs->pad_idx = 0;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    inputs->pad_idx = 0;
    // The parser takes the lists by address and hands back what it left over.
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    int err = avfilter_graph_parse_ptr(g, chain.c_str(), &in, &out, nullptr);
    inputs.reset(in);
    outputs.reset(out);
    if (err < 0)
        return err;
    return avfilter_graph_config(g, nullptr);
}

// Source and sink of one stream's graph, the chain between them, and the
// finished graph handed to `result` only when every step worked.
int finishGraph(FilterGraphPtr g, const char* source, const char* sinkName, const char* args,
                const std::string& chain, FilterGraph& result) {
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    int err = avfilter_graph_create_filter(&src, avfilter_get_by_name(source), "in", args, nullptr,
                                           g.get());
    if (err < 0)
        return err;
    err = avfilter_graph_create_filter(&sink, avfilter_get_by_name(sinkName), "out", nullptr, nullptr,
                                       g.get());
    if (err < 0)
        return err;
    err = linkChain(g.get(), src, sink, chain);
    if (err < 0)
        return err;
    result.graph = std::move(g);
    result.source = src;
    result.sink = sink;
    return 0;
}

}  // namespace

std::string videoChain(const VideoGraphOutput& out) {
    std::string chain = out.userChain;
    char buf[128];
    if (out.width > 0 && out.height > 0) {
        snprintf(buf, sizeof buf, "scale=%d:%d", out.width, out.height);
        append(chain, buf);
    }
    if (!out.pixelFormats.empty())
        append(chain, "format=pix_fmts=" + out.pixelFormats);
    // Last, so that a repeated frame is a reference, not another scaling. The
    // input starts at 0, and so does the video: a late first frame is repeated.
    if (out.frameRate.num > 0 && out.frameRate.den > 0) {
        snprintf(buf, sizeof buf, "fps=fps=%d/%d:start_time=0", out.frameRate.num, out.frameRate.den);
        append(chain, buf);
    }
    return chain.empty() ? "null" : chain;
}

std::string audioChain(const AudioGraphOutput& out) {
    std::string chain = out.userChain;
    std::string format;
    auto field = [&format](const char* key, const std::string& value) {
        if (value.empty())
            return;
        if (!format.empty())
            format += ':';
        format += key;
        format += '=';
        format += value;
    };
    field("sample_fmts", out.sampleFormats);
    field("sample_rates", out.sampleRates);
    field("channel_layouts", out.channelLayouts);
    if (!format.empty())
        append(chain, "aformat=" + format);
    return chain.empty() ? "anull" : chain;
}

int buildVideoGraph(const VideoGraphInput& in, const VideoGraphOutput& out, FilterGraph& result) {
    FilterGraphPtr g(avfilter_graph_alloc());
    if (!g)
        return AVERROR(ENOMEM);
    g->scale_sws_opts = av_strdup(out.scaleFlags.empty() ? "flags=bicubic" : out.scaleFlags.c_str());
    // The converter runs one stream's graph at a time: no filter threads.
    g->nb_threads = 1;

    const AVRational sar = in.sampleAspect.num > 0 ? in.sampleAspect : AVRational{0, 1};
    char args[512];
    snprintf(args, sizeof args,
             "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", in.width,
             in.height, in.pixelFormat, in.timeBase.num, in.timeBase.den, sar.num,
             sar.den > 0 ? sar.den : 1);
    if (in.frameRate.num > 0 && in.frameRate.den > 0)
        snprintf(args + strlen(args), sizeof args - strlen(args), ":frame_rate=%d/%d",
                 in.frameRate.num, in.frameRate.den);
    return finishGraph(std::move(g), "buffer", "buffersink", args, videoChain(out), result);
}

int buildAudioGraph(const AudioGraphInput& in, const AudioGraphOutput& out, FilterGraph& result) {
    FilterGraphPtr g(avfilter_graph_alloc());
    if (!g)
        return AVERROR(ENOMEM);
    g->nb_threads = 1;
    if (!out.resampleOptions.empty())
        av_opt_set(g.get(), "aresample_swr_opts", out.resampleOptions.c_str(), 0);

    char layout[128] = "";
    AVChannelLayout known{};
    if (in.layout.order == AV_CHANNEL_ORDER_UNSPEC || in.layout.nb_channels == 0)
        av_channel_layout_default(&known, in.layout.nb_channels > 0 ? in.layout.nb_channels : 1);
    else
        av_channel_layout_copy(&known, &in.layout);
    av_channel_layout_describe(&known, layout, sizeof layout);
    av_channel_layout_uninit(&known);

    char args[512];
    snprintf(args, sizeof args,
             "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", in.timeBase.num,
             in.timeBase.den, in.sampleRate,
             av_get_sample_fmt_name(static_cast<AVSampleFormat>(in.sampleFormat)), layout);
    return finishGraph(std::move(g), "abuffer", "abuffersink", args, audioChain(out), result);
}

}  // namespace mirovex
