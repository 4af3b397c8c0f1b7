#include "converter/Encoders.h"

namespace mirovex {

const AVCodec* findEncoder(const std::string& name, const AVOutputFormat* format,
                           AVMediaType type) {
    if (!name.empty()) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
        if (codec && codec->type != type)
            return nullptr;
        return codec;
    }
    const AVCodecID id = type == AVMEDIA_TYPE_VIDEO ? format->video_codec : format->audio_codec;
    return id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
}

std::string pixelFormatList(const AVCodec* codec) {
    std::string list;
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p) {
        if (!list.empty())
            list += '|';
        list += av_get_pix_fmt_name(*p);
    }
    return list;
}

std::string sampleFormatList(const AVCodec* codec) {
    std::string list;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (!list.empty())
            list += '|';
        list += av_get_sample_fmt_name(*f);
    }
    return list;
}

std::string sampleRateList(const AVCodec* codec) {
    std::string list;
    for (const int* r = codec->supported_samplerates; r && *r; ++r) {
        if (!list.empty())
            list += '|';
        list += std::to_string(*r);
    }
    return list;
}

int openEncoder(const EncoderSetup& setup, AVFilterContext* sink, CodecContextPtr& out) {
    const AVCodec* codec = setup.codec;
    CodecContextPtr enc(avcodec_alloc_context3(codec));
    if (!enc)
        return AVERROR(ENOMEM);
    const bool video = codec->type == AVMEDIA_TYPE_VIDEO;
    if (video) {
        enc->width = av_buffersink_get_w(sink);
        enc->height = av_buffersink_get_h(sink);
        enc->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(sink));
        AVRational rate = av_buffersink_get_frame_rate(sink);
        if (rate.num <= 0 || rate.den <= 0)
            rate = AVRational{25, 1};
        enc->framerate = rate;
        enc->time_base = av_inv_q(rate);
        enc->sample_aspect_ratio =
            setup.aspect.num > 0
                ? av_mul_q(setup.aspect, AVRational{enc->height, enc->width})
                : av_buffersink_get_sample_aspect_ratio(sink);
    } else {
        enc->sample_fmt = static_cast<AVSampleFormat>(av_buffersink_get_format(sink));
        enc->sample_rate = av_buffersink_get_sample_rate(sink);
        int err = av_buffersink_get_ch_layout(sink, &enc->ch_layout);
        if (err < 0)
            return err;
        enc->time_base = AVRational{1, enc->sample_rate};
    }
    if (setup.globalHeader)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // As FFmpeg's filter_codec_opts: a generic option for this kind of stream,
    // or one of this encoder's own.
    Dictionary options;
    const AVClass* generic = avcodec_get_class();
    const AVClass* priv = codec->priv_class;
    const int flags =
        AV_OPT_FLAG_ENCODING_PARAM | (video ? AV_OPT_FLAG_VIDEO_PARAM : AV_OPT_FLAG_AUDIO_PARAM);
    const std::vector<AvOption>& all = *setup.options;
    for (size_t i = 0; i < all.size(); ++i) {
        const AvOption& o = all[i];
        if (o.kind != OptionKind::Codec ||
            !specifierMatches(o.specifier, video ? 'v' : 'a', setup.streamIndex, setup.indexInType))
            continue;
        if (av_opt_find(&generic, o.name.c_str(), nullptr, flags, AV_OPT_SEARCH_FAKE_OBJ) ||
            (priv && av_opt_find(&priv, o.name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))) {
            options.set(o.name, o.value);
            (*setup.used)[i] = true;
        }
    }
    if (!options.has("threads"))
        options.set("threads", "auto");

    int err = avcodec_open2(enc.get(), codec, options.address());
    if (err < 0) {
        av_log(nullptr, AV_LOG_ERROR,
               "Error while opening encoder for output stream #0:%d - maybe incorrect "
               "parameters such as bit_rate, rate, width or height\n",
               setup.streamIndex);
        return err;
    }
    if (const AVDictionaryEntry* left = av_dict_get(options.get(), "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
        av_log(nullptr, AV_LOG_FATAL, "Option %s not found.\n", left->key);
        return AVERROR_OPTION_NOT_FOUND;
    }
    if (!video && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        av_buffersink_set_frame_size(sink, enc->frame_size);
    out = std::move(enc);
    return 0;
}

}  // namespace mirovex
