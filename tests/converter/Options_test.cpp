#include "converter/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using mirovex::OptionKind;
using mirovex::parseCommandLine;

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t next = text.find(' ', pos);
        const size_t end = next == std::string::npos ? text.size() : next;
        if (end > pos)
            out.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

const char* const kPresets[] = {
    "-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 -rc_lookahead 50 -threads 0",
    "-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 -rc_lookahead 60 -threads 0",
    "-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 -rc_lookahead 60 -threads 0",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v 1250k -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect 16:9 -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
};

// The application's converting command: -y -i <in> <preset> <out>.
TEST(Options, EveryPresetParsesWithLegacyNamesMapped) {
    for (const char* preset : kPresets) {
        SCOPED_TRACE(preset);
        auto args = split(std::string("-y -i in.flv ") + preset + " out.mp4");
        const auto parsed = parseCommandLine(args);
        ASSERT_EQ(parsed.error, 0) << parsed.message;
        ASSERT_TRUE(parsed.line.input && parsed.line.output);
        EXPECT_TRUE(parsed.line.overwrite);
        EXPECT_EQ(parsed.line.input->path, "in.flv");
        EXPECT_EQ(parsed.line.output->path, "out.mp4");
        EXPECT_EQ(parsed.line.output->videoCodec, "libx264");
        EXPECT_EQ(parsed.line.output->audioCodec, "aac");
        EXPECT_EQ(parsed.line.output->sampleRate, "48000");
        EXPECT_FALSE(parsed.line.trailingOptions);
        bool lookahead = false;
        for (const auto& o : parsed.line.output->avOptions) {
            EXPECT_NE(o.name, "rc_lookahead");
            if (o.name == "rc-lookahead")
                lookahead = true;
        }
        EXPECT_TRUE(lookahead);
    }
}

TEST(Options, PresetFourKeepsEveryOptionWithItsSpecifier) {
    const auto parsed = parseCommandLine(split(std::string("-i a.flv ") + kPresets[4] + " b.mp4"));
    ASSERT_EQ(parsed.error, 0);
    const auto& out = *parsed.line.output;
    EXPECT_EQ(out.format, "mp4");
    EXPECT_EQ(out.frameRate, "29.97");
    EXPECT_EQ(out.videoFilters, "scale=704:384");
    EXPECT_EQ(out.aspect, "16:9");
    EXPECT_EQ(out.channels, "2");
    struct Want {
        const char* name;
        const char* specifier;
        const char* value;
    };
    const Want wants[] = {{"b", "v", "1250k"},      {"b", "a", "112k"},   {"maxrate", "", "1500k"},
                          {"me_method", "", "umh"},  {"partitions", "", "+parti4x4+parti8x8+partp8x8+partb8x8"},
                          {"direct-pred", "", "3"}, {"level", "", "30"},  {"rc-lookahead", "", "50"}};
    for (const Want& w : wants) {
        bool found = false;
        for (const auto& o : out.avOptions)
            found = found || (o.name == w.name && o.specifier == w.specifier && o.value == w.value &&
                              o.kind == OptionKind::Codec);
        EXPECT_TRUE(found) << w.name << ":" << w.specifier;
    }
}

TEST(Options, RefusalsInFfmpegsWords) {
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"-i a.flv -bogus 1 b.mp4", "Unrecognized option 'bogus'.\nError splitting the argument list: Option not found"},
        {"-i a.flv -crf", "Missing argument for option 'crf'.\nError splitting the argument list: Invalid argument"},
        {"-i a.flv -b:x 1k b.mp4", "Invalid stream specifier: x."},
        {"-i a.flv -loglevel loud b.mp4", "Invalid loglevel \"loud\"."},
        {"-i a.flv -i c.flv b.mp4", "mirovex reads one input file; 'c.flv' is a second one."},
        {"-i a.flv b.mp4 c.mp4", "mirovex writes one output file; 'c.mp4' is a second one."},
    };
    for (const Case& c : cases) {
        const auto parsed = parseCommandLine(split(c.line));
        EXPECT_LT(parsed.error, 0) << c.line;
        EXPECT_EQ(parsed.message, c.message) << c.line;
    }
}

TEST(Options, GlobalOptionsAnywhereAndFileOptionsBeforeTheirFile) {
    const auto parsed = parseCommandLine(
        split("-threads 2 -i a.flv -hide_banner -vn -c:a aac -b:a 64k b.mp4 -nostdin -v error -n"));
    ASSERT_EQ(parsed.error, 0) << parsed.message;
    const auto& line = parsed.line;
    EXPECT_TRUE(line.hideBanner);
    EXPECT_TRUE(line.noStdin);
    EXPECT_TRUE(line.neverOverwrite);
    EXPECT_EQ(line.logLevel, 16);
    ASSERT_EQ(line.input->avOptions.size(), 1u);
    EXPECT_EQ(line.input->avOptions[0].name, "threads");
    EXPECT_TRUE(line.output->noVideo);
    EXPECT_EQ(line.output->audioCodec, "aac");
    EXPECT_TRUE(line.output->videoCodec.empty());
    EXPECT_FALSE(line.trailingOptions);

    const auto trailing = parseCommandLine(split("-i a.flv b.mp4 -crf 20"));
    EXPECT_TRUE(trailing.line.trailingOptions);
}

TEST(Options, ProbeHasAnInputAndNoOutput) {
    const auto parsed = parseCommandLine({"-i", "C:\\v\\a b.flv"});
    ASSERT_EQ(parsed.error, 0);
    EXPECT_EQ(parsed.line.input->path, "C:\\v\\a b.flv");
    EXPECT_FALSE(parsed.line.output);
}

TEST(Options, LegacyNames) {
    const std::pair<const char*, const char*> options[] = {
        {"rc_lookahead", "rc-lookahead"}, {"directpred", "direct-pred"}, {"ab", "b:a"},
        {"crf", "crf"},                   {"me_method", "me_method"},
    };
    for (const auto& [old, now] : options)
        EXPECT_EQ(mirovex::modernOptionName(old), now);
    const std::pair<const char*, const char*> encoders[] = {
        {"libvo_aacenc", "aac"}, {"libfaac", "aac"}, {"libx264", "libx264"}, {"aac", "aac"}};
    for (const auto& [old, now] : encoders)
        EXPECT_EQ(mirovex::modernEncoderName(old), now);
}

TEST(Options, StreamSpecifiers) {
    struct Case {
        const char* specifier;
        char type;
        int index;
        int inType;
        bool match;
    };
    const Case cases[] = {
        {"", 'v', 0, 0, true},  {"v", 'v', 0, 0, true},  {"v", 'a', 1, 0, false},
        {"a", 'a', 1, 0, true}, {"V", 'v', 0, 0, true},  {"1", 'a', 1, 0, true},
        {"0", 'a', 1, 0, false}, {"a:0", 'a', 1, 0, true}, {"a:1", 'a', 1, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mirovex::specifierMatches(c.specifier, c.type, c.index, c.inType), c.match) << c.specifier;
    for (const char* bad : {"x", "v:", "a:b", "s"})
        EXPECT_FALSE(mirovex::isValidSpecifier(bad)) << bad;
}

TEST(Options, LogLevels) {
    const std::pair<const char*, int> cases[] = {
        {"quiet", -8}, {"error", 16}, {"warning", 24}, {"info", 32}, {"debug", 48}, {"40", 40}, {"-8", -8}};
    for (const auto& [text, level] : cases)
        EXPECT_EQ(mirovex::parseLogLevel(text), level) << text;
    EXPECT_FALSE(mirovex::parseLogLevel("loud"));
}

}  // namespace
