#include "converter/Input.h"

#include "converter/Console.h"

namespace mirovex {

int openInput(const FileOptions& input, InputContextPtr& out) {
    const AVInputFormat* format = nullptr;
    if (!input.format.empty()) {
        format = av_find_input_format(input.format.c_str());
        if (!format) {
            av_log(nullptr, AV_LOG_FATAL, "Unknown input format: '%s'\n", input.format.c_str());
            return AVERROR(EINVAL);
        }
    }
    Dictionary formatOptions;
    for (const AvOption& o : input.avOptions)
        if (o.kind == OptionKind::Format)
            formatOptions.set(o.name, o.value);

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return AVERROR(ENOMEM);
    int err = avformat_open_input(&raw, input.path.c_str(), format, formatOptions.address());
    // A file that ends before its header does is no FLV, not an early end.
    if (err == AVERROR_EOF)
        return AVERROR_INVALIDDATA;
    if (err < 0)
        return err;  // avformat_open_input frees the context on failure
    out.reset(raw);
    // This build knows one demuxer, which the prober falls back to for any
    // bytes at all; a file it does not recognise by content is no FLV.
    if (!format && raw->probe_score <= AVPROBE_SCORE_RETRY)
        return AVERROR_INVALIDDATA;
    err = avformat_find_stream_info(raw, nullptr);
    if (err < 0)
        return err == AVERROR_EOF ? AVERROR_INVALIDDATA : err;
    // An empty file opens as FLV with nothing in it: as FFmpeg, no data is no media.
    if (raw->nb_streams == 0)
        return AVERROR_INVALIDDATA;
    return 0;
}

int bestStream(AVFormatContext* ic, AVMediaType type) {
    const int i = av_find_best_stream(ic, type, -1, -1, nullptr, 0);
    return i < 0 ? -1 : i;
}

int openDecoder(AVFormatContext* ic, int streamIndex, const FileOptions& input,
                CodecContextPtr& out) {
    AVStream* st = ic->streams[streamIndex];
    const bool video = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    const std::string& forced = video ? input.videoCodec : input.audioCodec;
    const AVCodec* codec = forced.empty() ? avcodec_find_decoder(st->codecpar->codec_id)
                                          : avcodec_find_decoder_by_name(forced.c_str());
    if (!codec) {
        if (!forced.empty())
            av_log(nullptr, AV_LOG_FATAL, "Unknown decoder '%s'\n", forced.c_str());
        return AVERROR_DECODER_NOT_FOUND;
    }
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!dec)
        return AVERROR(ENOMEM);
    int err = avcodec_parameters_to_context(dec.get(), st->codecpar);
    if (err < 0)
        return err;
    dec->pkt_timebase = st->time_base;
    if (video)
        dec->framerate = st->avg_frame_rate;

    Dictionary options;
    const AVClass* generic = avcodec_get_class();
    const AVClass* priv = codec->priv_class;
    const int flags = AV_OPT_FLAG_DECODING_PARAM |
                      (video ? AV_OPT_FLAG_VIDEO_PARAM : AV_OPT_FLAG_AUDIO_PARAM);
    for (const AvOption& o : input.avOptions) {
        if (o.kind != OptionKind::Codec ||
            !specifierMatches(o.specifier, video ? 'v' : 'a', streamIndex, 0))
            continue;
        if (av_opt_find(&generic, o.name.c_str(), nullptr, flags, AV_OPT_SEARCH_FAKE_OBJ) ||
            (priv && av_opt_find(&priv, o.name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)))
            options.set(o.name, o.value);
    }
    // As FFmpeg: decoders use every core unless told otherwise.
    if (!options.has("threads"))
        options.set("threads", "auto");
    err = avcodec_open2(dec.get(), codec, options.address());
    if (err < 0)
        return err;
    out = std::move(dec);
    return 0;
}

}  // namespace mirovex
