#include "converter/Transcode.h"

#include "converter/Console.h"
#include "converter/Encoders.h"
#include "converter/Ffmpeg.h"
#include "converter/Filters.h"
#include "converter/Input.h"
#include "converter/Muxing.h"
#include "converter/Progress.h"
#include "converter/Stop.h"

#include <windows.h>

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace mirovex {

std::string errorText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

namespace {

constexpr int64_t kReportIntervalUs = 250000;  // FFmpeg: 500 ms; ours: at least twice a second
// After "q", the encoders may finish what they hold for this long; what is
// still queued then is left out so that the run ends within half a second.
constexpr int64_t kStopFlushBudgetUs = 250000;

// One stream from decoder to muxer.
struct Stream {
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() { av_channel_layout_uninit(&audioIn.layout); }

    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVStream* in = nullptr;
    CodecContextPtr decoder;
    FilterGraph graph;
    VideoGraphInput videoIn;
    VideoGraphOutput videoOut;
    AudioGraphInput audioIn;
    AudioGraphOutput audioOut;
    const AVCodec* codec = nullptr;
    CodecContextPtr encoder;
    AVStream* out = nullptr;
    int index = 0;
    int indexInType = 0;

    int64_t lastVideoPts = AV_NOPTS_VALUE;
    int64_t inputEnd = AV_NOPTS_VALUE;
    int64_t lastDts = AV_NOPTS_VALUE;   // in the output stream's time base  // where the last frame given to the graph ends
    int64_t audioRescaleLast = AV_NOPTS_VALUE;
    int64_t frames = 0;
    int64_t bytes = 0;
    float quality = -1.0f;
    bool done = false;  // reached -t
};

int fail(int err, const std::string& what) {
    av_log(nullptr, AV_LOG_ERROR, "%s: %s\n", what.c_str(), errorText(err).c_str());
    return err;
}

void printBanner(const CommandLine& line) {
    if (line.hideBanner)
        return;
    av_log(nullptr, AV_LOG_INFO,
           "mirovex version 1.0.0 Copyright (c) 2026 the Quandril developers\n"
           "  built on FFmpeg %s with libx264 (FLV in, MP4 out)\n",
           av_version_info());
}

class Converter {
public:
    Converter(const CommandLine& line, const std::wstring& outputPath)
        : line_(line), input_(*line.input), output_(*line.output), outputPath_(outputPath) {}

    int run();

private:
    int checkOptions();
    int setUpStreams();
    int addStream(AVMediaType type, int inIndex, const std::string& encoderName);
    int openStream(Stream& s);
    int reconfigure(Stream& s, const AVFrame* frame);
    int decodePacket(Stream& s, const AVPacket* packet);
    int filterFrame(Stream& s, AVFrame* frame);
    int drainGraph(Stream& s);
    int encodeFrame(Stream& s, AVFrame* frame);
    int flushAll(bool stopped);
    void report(bool last);
    void printMapping();
    void printSummary();
    bool dueForStop();

    const CommandLine& line_;
    const FileOptions& input_;
    const FileOptions& output_;
    std::wstring outputPath_;
    std::string outputName_;

    InputContextPtr ic_;
    OutputFile out_;
    Dictionary outputFormatOptions_;
    std::vector<std::unique_ptr<Stream>> streams_;
    std::vector<bool> optionUsed_;
    std::vector<Stream*> byInputIndex_;
    int64_t tsOffset_ = 0;  // AV_TIME_BASE units, makes the input start at 0

    AVRational frameRate_{0, 1};
    AVRational aspect_{0, 1};
    int width_ = 0, height_ = 0;
    int sampleRate_ = 0, channels_ = 0;
    int64_t durationUs_ = INT64_MAX;

    FramePtr decoded_{av_frame_alloc()};
    FramePtr filtered_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    PacketPtr encoded_{av_packet_alloc()};

    int64_t start_ = av_gettime_relative();
    int64_t lastReport_ = 0;
    int64_t stopAt_ = 0;  // when the stop request was seen; 0: none
    bool headerWritten_ = false;
    int64_t packetsWritten_ = 0;
    int64_t endUs_ = INT64_MIN;
};

int Converter::checkOptions() {
    if (!output_.frameRate.empty() &&
        (av_parse_video_rate(&frameRate_, output_.frameRate.c_str()) < 0 || frameRate_.num <= 0)) {
        av_log(nullptr, AV_LOG_FATAL, "Invalid framerate value: %s\n", output_.frameRate.c_str());
        return AVERROR(EINVAL);
    }
    if (!output_.aspect.empty() &&
        (av_parse_ratio(&aspect_, output_.aspect.c_str(), 255, 0, nullptr) < 0 || aspect_.num <= 0 ||
         aspect_.den <= 0)) {
        av_log(nullptr, AV_LOG_FATAL, "Invalid aspect ratio: %s\n", output_.aspect.c_str());
        return AVERROR(EINVAL);
    }
    if (!output_.frameSize.empty() &&
        av_parse_video_size(&width_, &height_, output_.frameSize.c_str()) < 0) {
        av_log(nullptr, AV_LOG_FATAL, "Invalid frame size: %s.\n", output_.frameSize.c_str());
        return AVERROR(EINVAL);
    }
    auto positive = [](const std::string& text, int& value) {
        char* end = nullptr;
        const long v = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || v <= 0 || v > 1000000)
            return false;
        value = static_cast<int>(v);
        return true;
    };
    if (!output_.sampleRate.empty() && !positive(output_.sampleRate, sampleRate_)) {
        av_log(nullptr, AV_LOG_FATAL, "Invalid value \"%s\" for option -ar\n", output_.sampleRate.c_str());
        return AVERROR(EINVAL);
    }
    if (!output_.channels.empty() && (!positive(output_.channels, channels_) || channels_ > 64)) {
        av_log(nullptr, AV_LOG_FATAL, "Invalid value \"%s\" for option -ac\n", output_.channels.c_str());
        return AVERROR(EINVAL);
    }
    if (!output_.pixelFormat.empty() && av_get_pix_fmt(output_.pixelFormat.c_str()) == AV_PIX_FMT_NONE) {
        av_log(nullptr, AV_LOG_FATAL, "Unknown pixel format requested: %s.\n", output_.pixelFormat.c_str());
        return AVERROR(EINVAL);
    }
    if (!output_.duration.empty()) {
        int64_t us = 0;
        if (av_parse_time(&us, output_.duration.c_str(), 1) < 0 || us <= 0) {
            av_log(nullptr, AV_LOG_FATAL, "Invalid duration specification for t: %s\n",
                   output_.duration.c_str());
            return AVERROR(EINVAL);
        }
        durationUs_ = us;
    }
    for (const std::string* name : {&output_.videoCodec, &output_.audioCodec}) {
        if (*name == "copy") {
            av_log(nullptr, AV_LOG_FATAL, "Stream copy is not supported: mirovex always re-encodes\n");
            return AVERROR(ENOSYS);
        }
    }
    const AVOutputFormat* format = out_.context()->oformat;
    if (!output_.videoCodec.empty() &&
        !findEncoder(output_.videoCodec, format, AVMEDIA_TYPE_VIDEO)) {
        av_log(nullptr, AV_LOG_FATAL, "Unknown encoder '%s'\n", output_.videoCodec.c_str());
        return AVERROR_ENCODER_NOT_FOUND;
    }
    if (!output_.audioCodec.empty() &&
        !findEncoder(output_.audioCodec, format, AVMEDIA_TYPE_AUDIO)) {
        av_log(nullptr, AV_LOG_FATAL, "Unknown encoder '%s'\n", output_.audioCodec.c_str());
        return AVERROR_ENCODER_NOT_FOUND;
    }
    return 0;
}

int Converter::addStream(AVMediaType type, int inIndex, const std::string& encoderName) {
    auto s = std::make_unique<Stream>();
    s->type = type;
    s->in = ic_->streams[inIndex];
    s->codec = findEncoder(encoderName, out_.context()->oformat, type);
    if (!s->codec) {
        av_log(nullptr, AV_LOG_FATAL, "Unknown encoder '%s'\n",
               encoderName.empty() ? avcodec_get_name(type == AVMEDIA_TYPE_VIDEO
                                                          ? out_.context()->oformat->video_codec
                                                          : out_.context()->oformat->audio_codec)
                                   : encoderName.c_str());
        return AVERROR_ENCODER_NOT_FOUND;
    }
    int err = openDecoder(ic_.get(), inIndex, input_, s->decoder);
    if (err < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Error while opening decoder for input stream #0:%d : %s\n",
               inIndex, errorText(err).c_str());
        return err;
    }
    s->index = static_cast<int>(streams_.size());
    s->indexInType = 0;
    byInputIndex_[static_cast<size_t>(inIndex)] = s.get();
    streams_.push_back(std::move(s));
    return 0;
}

int Converter::setUpStreams() {
    byInputIndex_.assign(ic_->nb_streams, nullptr);
    const AVOutputFormat* format = out_.context()->oformat;
    const int video = output_.noVideo ? -1 : bestStream(ic_.get(), AVMEDIA_TYPE_VIDEO);
    const int audio = output_.noAudio ? -1 : bestStream(ic_.get(), AVMEDIA_TYPE_AUDIO);
    if (video >= 0 && (format->video_codec != AV_CODEC_ID_NONE || !output_.videoCodec.empty())) {
        const int err = addStream(AVMEDIA_TYPE_VIDEO, video, output_.videoCodec);
        if (err < 0)
            return err;
    }
    if (audio >= 0 && (format->audio_codec != AV_CODEC_ID_NONE || !output_.audioCodec.empty())) {
        const int err = addStream(AVMEDIA_TYPE_AUDIO, audio, output_.audioCodec);
        if (err < 0)
            return err;
    }
    if (streams_.empty()) {
        av_log(nullptr, AV_LOG_ERROR, "Output file #0 does not contain any stream\n");
        return AVERROR(EINVAL);
    }
    for (auto& s : streams_) {
        const int err = openStream(*s);
        if (err < 0)
            return err;
    }
    return 0;
}

// Builds the stream's filter graph from the decoder's parameters, opens its
// encoder on what the graph delivers, and adds the output stream.
int Converter::openStream(Stream& s) {
    const AVCodecContext* dec = s.decoder.get();
    int err = 0;
    if (s.type == AVMEDIA_TYPE_VIDEO) {
        if (dec->width <= 0 || dec->height <= 0 || dec->pix_fmt == AV_PIX_FMT_NONE) {
            av_log(nullptr, AV_LOG_ERROR,
                   "Input stream #0:%d: the video's size or pixel format could not be found\n",
                   s.in->index);
            return AVERROR_INVALIDDATA;
        }
        s.videoIn.width = dec->width;
        s.videoIn.height = dec->height;
        s.videoIn.pixelFormat = dec->pix_fmt;
        s.videoIn.timeBase = s.in->time_base;
        s.videoIn.sampleAspect = av_guess_sample_aspect_ratio(ic_.get(), s.in, nullptr);
        AVRational guessed = av_guess_frame_rate(ic_.get(), s.in, nullptr);
        s.videoIn.frameRate = guessed;
        s.videoOut.userChain = output_.videoFilters;
        s.videoOut.width = width_;
        s.videoOut.height = height_;
        s.videoOut.pixelFormats = output_.pixelFormat.empty() ? pixelFormatList(s.codec) : output_.pixelFormat;
        // MP4 gets a constant frame rate, as FFmpeg gives it: -r, else the input's.
        if (frameRate_.num > 0)
            s.videoOut.frameRate = frameRate_;
        else if (guessed.num > 0 && guessed.den > 0 && av_q2d(guessed) <= 1000)
            s.videoOut.frameRate = guessed;
        else
            s.videoOut.frameRate = AVRational{25, 1};
        for (const AvOption& o : output_.avOptions)
            if (o.kind == OptionKind::Scale)
                s.videoOut.scaleFlags += (s.videoOut.scaleFlags.empty() ? "" : ":") + o.name + "=" + o.value;
        err = buildVideoGraph(s.videoIn, s.videoOut, s.graph);
    } else {
        s.audioIn.sampleRate = dec->sample_rate;
        s.audioIn.sampleFormat = dec->sample_fmt;
        av_channel_layout_copy(&s.audioIn.layout, &dec->ch_layout);
        s.audioIn.timeBase = AVRational{1, dec->sample_rate};
        if (dec->sample_rate <= 0 || dec->sample_fmt == AV_SAMPLE_FMT_NONE ||
            dec->ch_layout.nb_channels <= 0) {
            av_log(nullptr, AV_LOG_ERROR,
                   "Input stream #0:%d: the audio's sample rate or channels could not be found\n",
                   s.in->index);
            return AVERROR_INVALIDDATA;
        }
        s.audioOut.userChain = output_.audioFilters;
        s.audioOut.sampleFormats = sampleFormatList(s.codec);
        s.audioOut.sampleRates = sampleRate_ > 0 ? std::to_string(sampleRate_) : sampleRateList(s.codec);
        if (channels_ > 0) {
            AVChannelLayout layout{};
            av_channel_layout_default(&layout, channels_);
            char name[128];
            av_channel_layout_describe(&layout, name, sizeof name);
            s.audioOut.channelLayouts = name;
        }
        for (const AvOption& o : output_.avOptions)
            if (o.kind == OptionKind::Resample)
                s.audioOut.resampleOptions += (s.audioOut.resampleOptions.empty() ? "" : ":") + o.name + "=" + o.value;
        err = buildAudioGraph(s.audioIn, s.audioOut, s.graph);
    }
    if (err < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Error configuring the filter graph of stream #0:%d: %s\n",
               s.index, errorText(err).c_str());
        return err;
    }

    EncoderSetup setup;
    setup.codec = s.codec;
    setup.options = &output_.avOptions;
    setup.used = &optionUsed_;
    setup.streamIndex = s.index;
    setup.indexInType = s.indexInType;
    setup.aspect = s.type == AVMEDIA_TYPE_VIDEO ? aspect_ : AVRational{0, 1};
    setup.globalHeader = (out_.context()->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    err = openEncoder(setup, s.graph.sink, s.encoder);
    if (err < 0)
        return err;

    s.out = avformat_new_stream(out_.context(), nullptr);
    if (!s.out)
        return AVERROR(ENOMEM);
    err = avcodec_parameters_from_context(s.out->codecpar, s.encoder.get());
    if (err < 0)
        return err;
    s.out->time_base = s.encoder->time_base;
    if (s.type == AVMEDIA_TYPE_VIDEO) {
        s.out->sample_aspect_ratio = s.encoder->sample_aspect_ratio;
        s.out->avg_frame_rate = s.encoder->framerate;
        s.out->r_frame_rate = s.encoder->framerate;
    }
    return 0;
}

// A frame whose size or format differs from what the graph was built for:
// the old graph gives up what it holds, and a new one leads the frames to the
// size and format the encoder was opened with.
int Converter::reconfigure(Stream& s, const AVFrame* frame) {
    int err = av_buffersrc_add_frame(s.graph.source, nullptr);
    if (err >= 0)
        err = drainGraph(s);
    if (err < 0)
        return err;
    if (s.type == AVMEDIA_TYPE_VIDEO) {
        s.videoIn.width = frame->width;
        s.videoIn.height = frame->height;
        s.videoIn.pixelFormat = frame->format;
        if (frame->sample_aspect_ratio.num > 0)
            s.videoIn.sampleAspect = frame->sample_aspect_ratio;
        s.videoOut.width = s.encoder->width;
        s.videoOut.height = s.encoder->height;
        s.videoOut.pixelFormats = av_get_pix_fmt_name(s.encoder->pix_fmt);
        err = buildVideoGraph(s.videoIn, s.videoOut, s.graph);
    } else {
        s.audioIn.sampleRate = frame->sample_rate;
        s.audioIn.sampleFormat = frame->format;
        av_channel_layout_uninit(&s.audioIn.layout);
        av_channel_layout_copy(&s.audioIn.layout, &frame->ch_layout);
        s.audioIn.timeBase = AVRational{1, frame->sample_rate};
        char name[128];
        av_channel_layout_describe(&s.encoder->ch_layout, name, sizeof name);
        s.audioOut.sampleFormats = av_get_sample_fmt_name(s.encoder->sample_fmt);
        s.audioOut.sampleRates = std::to_string(s.encoder->sample_rate);
        s.audioOut.channelLayouts = name;
        err = buildAudioGraph(s.audioIn, s.audioOut, s.graph);
        if (err >= 0 && !(s.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
            av_buffersink_set_frame_size(s.graph.sink, s.encoder->frame_size);
    }
    if (err < 0)
        av_log(nullptr, AV_LOG_ERROR, "Error reconfiguring the filter graph of stream #0:%d: %s\n",
               s.index, errorText(err).c_str());
    return err;
}

int Converter::decodePacket(Stream& s, const AVPacket* packet) {
    int err = avcodec_send_packet(s.decoder.get(), packet);
    if (err < 0 && err != AVERROR_EOF) {
        // As FFmpeg: a damaged packet is reported and the run goes on.
        av_log(nullptr, AV_LOG_ERROR, "Error while decoding stream #0:%d: %s\n", s.in->index,
               errorText(err).c_str());
        if (packet)
            return 0;
    }
    for (;;) {
        err = avcodec_receive_frame(s.decoder.get(), decoded_.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return 0;
        if (err < 0) {
            av_log(nullptr, AV_LOG_ERROR, "Error while decoding stream #0:%d: %s\n", s.in->index,
                   errorText(err).c_str());
            return 0;
        }
        err = filterFrame(s, decoded_.get());
        av_frame_unref(decoded_.get());
        if (err < 0)
            return err;
        if (dueForStop())
            return 0;
    }
}

int Converter::filterFrame(Stream& s, AVFrame* frame) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = frame->pts;
    if (s.type == AVMEDIA_TYPE_VIDEO) {
        if (pts == AV_NOPTS_VALUE && s.lastVideoPts != AV_NOPTS_VALUE)
            pts = s.lastVideoPts + 1;
        s.lastVideoPts = pts;
        frame->pts = pts;
        if (frame->width != s.videoIn.width || frame->height != s.videoIn.height ||
            frame->format != s.videoIn.pixelFormat) {
            const int err = reconfigure(s, frame);
            if (err < 0)
                return err;
        }
    } else {
        // Sample-exact times: the container's milliseconds, spread over the
        // samples without drift (as FFmpeg's decode_audio does).
        const AVRational sampleTb{1, frame->sample_rate};
        if (pts != AV_NOPTS_VALUE)
            frame->pts = av_rescale_delta(s.in->time_base, pts, sampleTb, frame->nb_samples,
                                          &s.audioRescaleLast, sampleTb);
        else
            frame->pts = AV_NOPTS_VALUE;
        if (frame->sample_rate != s.audioIn.sampleRate || frame->format != s.audioIn.sampleFormat ||
            av_channel_layout_compare(&frame->ch_layout, &s.audioIn.layout) != 0) {
            const int err = reconfigure(s, frame);
            if (err < 0)
                return err;
        }
    }
    if (frame->pts != AV_NOPTS_VALUE) {
        int64_t length = s.type == AVMEDIA_TYPE_AUDIO ? frame->nb_samples : frame->pkt_duration;
        if (length <= 0 && s.type == AVMEDIA_TYPE_VIDEO && s.videoIn.frameRate.num > 0)
            length = av_rescale_q(1, av_inv_q(s.videoIn.frameRate), s.videoIn.timeBase);
        s.inputEnd = frame->pts + (length > 0 ? length : 0);
    }
    const int err = av_buffersrc_add_frame_flags(s.graph.source, frame, AV_BUFFERSRC_FLAG_PUSH);
    if (err < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Error while filtering stream #0:%d: %s\n", s.index,
               errorText(err).c_str());
        return err;
    }
    return drainGraph(s);
}

int Converter::drainGraph(Stream& s) {
    for (;;) {
        int err = av_buffersink_get_frame(s.graph.sink, filtered_.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return 0;
        if (err < 0)
            return err;
        filtered_->pts = av_rescale_q(filtered_->pts, av_buffersink_get_time_base(s.graph.sink),
                                      s.encoder->time_base);
        err = encodeFrame(s, filtered_.get());
        av_frame_unref(filtered_.get());
        if (err < 0)
            return err;
        if (dueForStop())
            return 0;
    }
}

// Sends one frame (null: the end) to the encoder and muxes what comes out.
int Converter::encodeFrame(Stream& s, AVFrame* frame) {
    if (frame) {
        if (s.done)
            return 0;
        if (durationUs_ != INT64_MAX &&
            av_rescale_q(frame->pts, s.encoder->time_base, AV_TIME_BASE_Q) >= durationUs_) {
            s.done = true;
            return 0;
        }
        // The decoder's picture types are no orders for the encoder.
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        if (s.type == AVMEDIA_TYPE_VIDEO)
            ++s.frames;
    }
    int err = avcodec_send_frame(s.encoder.get(), frame);
    if (err < 0 && err != AVERROR_EOF) {
        av_log(nullptr, AV_LOG_ERROR, "Error while encoding stream #0:%d: %s\n", s.index,
               errorText(err).c_str());
        return err;
    }
    AVPacket* pkt = encoded_.get();
    for (;;) {
        // When stopping, what the encoder still holds after the budget is left out.
        if (!frame && stopAt_ && av_gettime_relative() - stopAt_ > kStopFlushBudgetUs)
            return 0;
        err = avcodec_receive_packet(s.encoder.get(), pkt);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return 0;
        if (err < 0) {
            av_log(nullptr, AV_LOG_ERROR, "Error while encoding stream #0:%d: %s\n", s.index,
                   errorText(err).c_str());
            return err;
        }
        if (s.type == AVMEDIA_TYPE_VIDEO) {
            size_t size = 0;
            if (const uint8_t* stats = av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &size);
                stats && size >= 4)
                s.quality = static_cast<float>(static_cast<int32_t>(AV_RL32(stats))) / FF_QP2LAMBDA;
            if (pkt->duration <= 0)
                pkt->duration = av_rescale_q(1, av_inv_q(s.encoder->framerate), s.encoder->time_base);
        }
        av_packet_rescale_ts(pkt, s.encoder->time_base, s.out->time_base);
        pkt->stream_index = s.out->index;
        // As FFmpeg's muxing step: a source whose clock runs backwards must not
        // make the muxer refuse the file, so such a time is moved just past the last.
        if (pkt->dts != AV_NOPTS_VALUE && s.lastDts != AV_NOPTS_VALUE && pkt->dts <= s.lastDts) {
            av_log(nullptr, AV_LOG_WARNING,
                   "Non-monotonous DTS in output stream 0:%d; previous: %" PRId64 ", current: %" PRId64
                   "; changing to %" PRId64 ". This may result in incorrect timestamps in the output file.\n",
                   s.index, s.lastDts, pkt->dts, s.lastDts + 1);
            if (pkt->pts != AV_NOPTS_VALUE && pkt->pts <= s.lastDts)
                pkt->pts = s.lastDts + 1;
            pkt->dts = s.lastDts + 1;
        }
        if (pkt->dts != AV_NOPTS_VALUE)
            s.lastDts = pkt->dts;
        s.bytes += pkt->size;
        const int64_t end = pkt->pts == AV_NOPTS_VALUE
                                ? INT64_MIN
                                : av_rescale_q(pkt->pts + pkt->duration, s.out->time_base, AV_TIME_BASE_Q);
        err = out_.write(pkt);
        if (err < 0)
            return fail(err, "Error muxing a packet for " + outputName_);
        ++packetsWritten_;
        if (end > endUs_)
            endUs_ = end;
        if (frame)
            dueForStop();  // reports progress when due
    }
}

// Reports progress when due; true when a stop has been asked for.
bool Converter::dueForStop() {
    const int64_t now = av_gettime_relative();
    if (now - lastReport_ >= kReportIntervalUs) {
        report(false);
        lastReport_ = now;
    }
    if (!stopAt_ && stopRequested() != StopReason::None) {
        stopAt_ = now;
        if (stopRequested() == StopReason::Key)
            av_log(nullptr, AV_LOG_INFO, "\n[q] command received. Exiting.\n\n");
    }
    return stopAt_ != 0;
}

int Converter::flushAll(bool stopped) {
    // Audio first: it is cheap, and after "q" the video may use up the time left.
    std::vector<Stream*> order;
    for (auto& sp : streams_)
        if (sp->type == AVMEDIA_TYPE_AUDIO)
            order.push_back(sp.get());
    for (auto& sp : streams_)
        if (sp->type != AVMEDIA_TYPE_AUDIO)
            order.push_back(sp.get());
    for (Stream* sp : order) {
        Stream& s = *sp;
        if (!stopped) {
            int err = decodePacket(s, nullptr);
            // The end is where the last frame ends, so the last frame keeps its length.
            if (err >= 0 && !stopAt_)
                err = s.inputEnd != AV_NOPTS_VALUE
                          ? av_buffersrc_close(s.graph.source, s.inputEnd, AV_BUFFERSRC_FLAG_PUSH)
                          : av_buffersrc_add_frame(s.graph.source, nullptr);
            if (err >= 0 && !stopAt_)
                err = drainGraph(s);
            if (err < 0)
                return err;
        }
        const int err = encodeFrame(s, nullptr);
        if (err < 0)
            return err;
    }
    return 0;
}

void Converter::report(bool last) {
    if (!line_.stats && !last)
        return;
    ProgressState p;
    for (auto& s : streams_) {
        if (s->type == AVMEDIA_TYPE_VIDEO) {
            p.hasVideo = true;
            p.frames = s->frames;
            p.quality = s->quality;
        }
    }
    p.sizeBytes = out_.bytesWritten();
    p.timeUs = headerWritten_ ? (endUs_ == INT64_MIN ? 0 : endUs_) : INT64_MIN;
    p.elapsedSeconds = (av_gettime_relative() - start_) / 1e6;
    p.last = last;
    consoleWrite(formatProgressLine(p));
}

void Converter::printMapping() {
    av_log(nullptr, AV_LOG_INFO, "Stream mapping:\n");
    for (auto& s : streams_)
        av_log(nullptr, AV_LOG_INFO, "  Stream #0:%d -> #0:%d (%s (%s) -> %s (%s))\n", s->in->index,
               s->index, avcodec_get_name(s->in->codecpar->codec_id), s->decoder->codec->name,
               avcodec_get_name(s->codec->id),
               // FFmpeg's word for an encoder of the libraries' own
               strcmp(s->codec->name, avcodec_get_name(s->codec->id)) == 0 ? "native" : s->codec->name);
    if (!line_.noStdin)
        av_log(nullptr, AV_LOG_INFO, "Press [q] to stop, [?] for help\n");
}

void Converter::printSummary() {
    double video = 0, audio = 0, headers = 0;
    for (auto& s : streams_) {
        (s->type == AVMEDIA_TYPE_VIDEO ? video : audio) += s->bytes;
        headers += s->encoder->extradata_size;
    }
    const double total = static_cast<double>(out_.bytesWritten() > 0 ? out_.bytesWritten() : 0);
    const double data = video + audio + headers;
    av_log(nullptr, AV_LOG_INFO,
           "video:%1.0fkB audio:%1.0fkB subtitle:0kB other streams:0kB global headers:%1.0fkB "
           "muxing overhead: %f%%\n",
           video / 1024.0, audio / 1024.0, headers / 1024.0,
           data > 0 ? (total - data) * 100.0 / data : 0.0);
}

int Converter::run() {
    outputName_ = output_.path;
    int err = openInput(input_, ic_);
    if (err < 0)
        return fail(err, input_.path);
    av_dump_format(ic_.get(), 0, input_.path.c_str(), 0);
    if (ic_->start_time != AV_NOPTS_VALUE)
        tsOffset_ = -ic_->start_time;

    // The output goes through a temporary file and a rename: it must be a file.
    if (outputName_ == "-" || outputName_.rfind("pipe:", 0) == 0) {
        av_log(nullptr, AV_LOG_FATAL, "%s: mirovex writes its output to a file only\n",
               outputName_.c_str());
        return AVERROR(EINVAL);
    }
    if (sameFile(fromUtf8(input_.path), outputPath_)) {
        av_log(nullptr, AV_LOG_FATAL,
               "Output %s same as Input #0 - exiting\nmirovex cannot edit existing files in-place.\n",
               outputName_.c_str());
        return AVERROR(EINVAL);
    }
    const DWORD attributes = GetFileAttributesW(outputPath_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return fail(AVERROR(EISDIR), outputName_);
        if (!line_.overwrite || line_.neverOverwrite) {
            av_log(nullptr, AV_LOG_FATAL, "File '%s' already exists. Exiting.\n", outputName_.c_str());
            return AVERROR_EXIT;
        }
    }

    err = out_.create(outputPath_, output_.format);
    if (err < 0)
        return err;
    if ((err = checkOptions()) < 0)
        return err;
    optionUsed_.assign(output_.avOptions.size(), false);
    if ((err = setUpStreams()) < 0)
        return err;
    for (size_t i = 0; i < output_.avOptions.size(); ++i) {
        const AvOption& o = output_.avOptions[i];
        if (o.kind == OptionKind::Codec && !optionUsed_[i])
            av_log(nullptr, AV_LOG_WARNING,
                   "Codec AVOption %s (%s) specified for output file #0 (%s) has not been used for "
                   "any stream. The most likely reason is either wrong type (e.g. a video option "
                   "with no video streams) or that it is a private option of some encoder which "
                   "was not actually used for any stream.\n",
                   o.name.c_str(), o.value.c_str(), outputName_.c_str());
        if (o.kind == OptionKind::Format)
            outputFormatOptions_.set(o.name, o.value);
    }

    printMapping();
    err = out_.begin(outputFormatOptions_.address());
    if (err < 0)
        return fail(err, outputName_);
    headerWritten_ = true;
    av_dump_format(out_.context(), 0, outputName_.c_str(), 1);

    bool allDone = false;
    while (!dueForStop() && !allDone) {
        err = av_read_frame(ic_.get(), packet_.get());
        if (err == AVERROR(EAGAIN)) {
            av_usleep(10000);
            continue;
        }
        if (err < 0) {
            // As FFmpeg: a read error ends the input; what was read is converted.
            if (err != AVERROR_EOF)
                av_log(nullptr, AV_LOG_ERROR, "%s: %s\n", input_.path.c_str(), errorText(err).c_str());
            break;
        }
        Stream* s = packet_->stream_index < static_cast<int>(byInputIndex_.size())
                        ? byInputIndex_[static_cast<size_t>(packet_->stream_index)]
                        : nullptr;
        if (s) {
            const int64_t offset = av_rescale_q(tsOffset_, AV_TIME_BASE_Q, s->in->time_base);
            if (packet_->pts != AV_NOPTS_VALUE)
                packet_->pts += offset;
            if (packet_->dts != AV_NOPTS_VALUE)
                packet_->dts += offset;
            err = decodePacket(*s, packet_.get());
        }
        av_packet_unref(packet_.get());
        if (err < 0)
            return err;
        allDone = true;
        for (auto& st : streams_)
            allDone = allDone && st->done;
    }

    const bool stopped = stopAt_ != 0;
    if ((err = flushAll(stopped)) < 0)
        return err;
    if (packetsWritten_ == 0) {
        av_log(nullptr, AV_LOG_WARNING,
               "Output file is empty, nothing was encoded (check -ss / -t / -frames parameters if used)\n");
        report(true);
        return stopped ? 0 : AVERROR_INVALIDDATA;
    }
    err = out_.commit();
    if (err < 0)
        return fail(err, outputName_);
    report(true);
    printSummary();
    if (stopRequested() == StopReason::Signal) {
        av_log(nullptr, AV_LOG_INFO, "Exiting normally, received signal 2.\n");
        return 255;
    }
    return 0;
}

}  // namespace

int runProbe(const CommandLine& line) {
    printBanner(line);
    InputContextPtr ic;
    const int err = openInput(*line.input, ic);
    if (err < 0) {
        fail(err, line.input->path);
        return 1;
    }
    av_dump_format(ic.get(), 0, line.input->path.c_str(), 0);
    av_log(nullptr, AV_LOG_ERROR, "At least one output file must be specified\n");
    return 1;
}

int runConversion(const CommandLine& line, const std::wstring& outputPath) {
    printBanner(line);
    stopWatchStart(!line.noStdin);
    Converter converter(line, outputPath);
    const int result = converter.run();
    if (result == 255)
        return 255;
    return result < 0 ? 1 : 0;
}

}  // namespace mirovex
