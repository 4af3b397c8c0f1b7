// The command line, in FFmpeg's syntax: global options anywhere, options of a
// file before its name, one input (-i) and one output.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirovex {

// Which library's options an AVOption of the command line belongs to.
enum class OptionKind { Codec, Format, Scale, Resample };

// An option the converter does not handle itself: handed to the library by
// name, for the streams its specifier selects ("" all, "v", "a", "0", "v:0").
struct AvOption {
    std::string name;
    std::string specifier;
    std::string value;
    OptionKind kind = OptionKind::Codec;
};

struct FileOptions {
    std::string path;
    std::string format;        // -f
    std::string videoCodec;    // -c:v / -vcodec, after mapping legacy names
    std::string audioCodec;    // -c:a / -acodec
    bool noVideo = false;      // -vn
    bool noAudio = false;      // -an
    std::string videoFilters;  // -vf / -filter:v
    std::string audioFilters;  // -af / -filter:a
    std::string frameRate;     // -r
    std::string frameSize;     // -s
    std::string aspect;        // -aspect
    std::string pixelFormat;   // -pix_fmt
    std::string sampleRate;    // -ar
    std::string channels;      // -ac
    std::string duration;      // -t
    std::vector<AvOption> avOptions;
};

struct CommandLine {
    bool overwrite = false;      // -y
    bool neverOverwrite = false; // -n
    bool hideBanner = false;
    bool noStdin = false;
    bool stats = true;
    int logLevel = 32;           // AV_LOG_INFO
    bool trailingOptions = false;
    std::optional<FileOptions> input;
    std::optional<FileOptions> output;
};

struct ParsedCommandLine {
    int error = 0;        // negative AVERROR code when the line is refused
    std::string message;  // FFmpeg's words for the refusal, without the last line end
    CommandLine line;
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// Today's names for options and encoders that FFmpeg has renamed or removed;
// other names come back unchanged.
std::string modernOptionName(std::string_view name);
std::string modernEncoderName(std::string_view name);

// Whether FFmpeg's libraries know an option of this name, and whose it is.
std::optional<OptionKind> findLibraryOption(const std::string& name);

// Stream specifiers as this converter understands them: "", "v", "V", "a",
// an output stream index, or a type with an index within that type ("a:0").
bool isValidSpecifier(std::string_view specifier);
bool specifierMatches(std::string_view specifier, char mediaType, int streamIndex, int indexInType);

// -loglevel's argument: a name (quiet ... trace) or a number; nullopt if neither.
std::optional<int> parseLogLevel(std::string_view text);

}  // namespace mirovex
