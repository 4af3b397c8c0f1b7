#include "converter/Options.h"

#include "converter/Ffmpeg.h"

#include <cctype>
#include <cstdlib>
#include <utility>

namespace mirovex {
namespace {

// Names from older FFmpeg releases, as preset strings of their time carry
// them, and the option of today that does the same thing.
constexpr std::pair<std::string_view, std::string_view> kRenamedOptions[] = {
    {"rc_lookahead", "rc-lookahead"},
    {"directpred", "direct-pred"},
    {"aq_mode", "aq-mode"},
    {"aq_strength", "aq-strength"},
    {"psy_rd", "psy-rd"},
    {"b_pyramid", "b-pyramid"},
    {"mixed_refs", "mixed-refs"},
    {"fast_pskip", "fast-pskip"},
    {"ab", "b:a"},
    {"vb", "b:v"},
};

// Encoders FFmpeg has dropped; the native encoder makes the same format.
constexpr std::pair<std::string_view, std::string_view> kRenamedEncoders[] = {
    {"libvo_aacenc", "aac"},
    {"libfaac", "aac"},
    {"libaacplus", "aac"},
};

std::string_view baseName(std::string_view opt) { return opt.substr(0, opt.find(':')); }
std::string_view specifierOf(std::string_view opt) {
    const auto colon = opt.find(':');
    return colon == std::string_view::npos ? std::string_view() : opt.substr(colon + 1);
}

bool allDigits(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

enum class Scope { Global, File };
enum class Arg { None, Required };

struct Handler {
    std::string_view name;
    Arg arg;
    Scope scope;
    bool takesSpecifier;
};

// The options the converter handles itself; every other "-name value" is an
// AVOption of one of the libraries.
constexpr Handler kHandlers[] = {
    {"y", Arg::None, Scope::Global, false},          {"n", Arg::None, Scope::Global, false},
    {"hide_banner", Arg::None, Scope::Global, false}, {"nostdin", Arg::None, Scope::Global, false},
    {"stdin", Arg::None, Scope::Global, false},       {"stats", Arg::None, Scope::Global, false},
    {"nostats", Arg::None, Scope::Global, false},     {"loglevel", Arg::Required, Scope::Global, false},
    {"v", Arg::Required, Scope::Global, false},       {"i", Arg::Required, Scope::File, false},
    {"f", Arg::Required, Scope::File, false},         {"c", Arg::Required, Scope::File, true},
    {"codec", Arg::Required, Scope::File, true},      {"vcodec", Arg::Required, Scope::File, false},
    {"acodec", Arg::Required, Scope::File, false},    {"vn", Arg::None, Scope::File, false},
    {"an", Arg::None, Scope::File, false},            {"sn", Arg::None, Scope::File, false},
    {"dn", Arg::None, Scope::File, false},            {"vf", Arg::Required, Scope::File, false},
    {"af", Arg::Required, Scope::File, false},        {"filter", Arg::Required, Scope::File, true},
    {"r", Arg::Required, Scope::File, true},          {"s", Arg::Required, Scope::File, true},
    {"aspect", Arg::Required, Scope::File, true},     {"pix_fmt", Arg::Required, Scope::File, true},
    {"ar", Arg::Required, Scope::File, true},         {"ac", Arg::Required, Scope::File, true},
    {"t", Arg::Required, Scope::File, false},
};

const Handler* findHandler(std::string_view name) {
    for (const Handler& h : kHandlers)
        if (h.name == name)
            return &h;
    return nullptr;
}

ParsedCommandLine refuse(int err, std::string message) {
    ParsedCommandLine r;
    r.error = err;
    r.message = std::move(message);
    return r;
}

// Sets a per-type option ("-c:v x", "-vcodec x", "-c x") on the file.
void setCodec(FileOptions& file, std::string_view specifier, const std::string& value) {
    const std::string name = modernEncoderName(value);
    if (specifier.empty() || specifier == "v" || specifier == "V")
        file.videoCodec = name;
    if (specifier.empty() || specifier == "a")
        file.audioCodec = name;
}

void setFilters(FileOptions& file, std::string_view specifier, const std::string& value) {
    if (specifier.empty() || specifier == "v" || specifier == "V")
        file.videoFilters = value;
    if (specifier == "a")
        file.audioFilters = value;
}

// Applies one of our own options; false when its specifier makes no sense.
bool applyFileOption(FileOptions& file, std::string_view name, std::string_view specifier,
                     const std::string& value) {
    if (name == "f")
        file.format = value;
    else if (name == "c" || name == "codec")
        setCodec(file, specifier, value);
    else if (name == "vcodec")
        setCodec(file, "v", value);
    else if (name == "acodec")
        setCodec(file, "a", value);
    else if (name == "vn")
        file.noVideo = true;
    else if (name == "an")
        file.noAudio = true;
    else if (name == "vf")
        setFilters(file, "v", value);
    else if (name == "af")
        setFilters(file, "a", value);
    else if (name == "filter")
        setFilters(file, specifier, value);
    else if (name == "r")
        file.frameRate = value;
    else if (name == "s")
        file.frameSize = value;
    else if (name == "aspect")
        file.aspect = value;
    else if (name == "pix_fmt")
        file.pixelFormat = value;
    else if (name == "ar")
        file.sampleRate = value;
    else if (name == "ac")
        file.channels = value;
    else if (name == "t")
        file.duration = value;
    return true;  // -sn and -dn: there are no such streams to drop
}

}  // namespace

std::string modernOptionName(std::string_view name) {
    for (const auto& [old, now] : kRenamedOptions)
        if (old == name)
            return std::string(now);
    return std::string(name);
}

std::string modernEncoderName(std::string_view name) {
    for (const auto& [old, now] : kRenamedEncoders)
        if (old == name)
            return std::string(now);
    return std::string(name);
}

std::optional<OptionKind> findLibraryOption(const std::string& name) {
    const int search = AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ;
    const AVClass* codec = avcodec_get_class();
    const AVClass* format = avformat_get_class();
    const AVClass* scale = sws_get_class();
    const AVClass* resample = swr_get_class();
    if (av_opt_find(&codec, name.c_str(), nullptr, 0, search))
        return OptionKind::Codec;
    if (av_opt_find(&format, name.c_str(), nullptr, 0, search))
        return OptionKind::Format;
    if (av_opt_find(&scale, name.c_str(), nullptr, 0, search))
        return OptionKind::Scale;
    if (av_opt_find(&resample, name.c_str(), nullptr, 0, search))
        return OptionKind::Resample;
    return std::nullopt;
}

bool isValidSpecifier(std::string_view specifier) {
    if (specifier.empty() || allDigits(specifier))
        return true;
    const char type = specifier[0];
    if (type != 'v' && type != 'V' && type != 'a')
        return false;
    if (specifier.size() == 1)
        return true;
    return specifier[1] == ':' && allDigits(specifier.substr(2));
}

bool specifierMatches(std::string_view specifier, char mediaType, int streamIndex, int indexInType) {
    if (specifier.empty())
        return true;
    if (allDigits(specifier))
        return std::atoi(std::string(specifier).c_str()) == streamIndex;
    const char type = specifier[0] == 'V' ? 'v' : specifier[0];
    if (type != mediaType)
        return false;
    if (specifier.size() == 1)
        return true;
    return std::atoi(std::string(specifier.substr(2)).c_str()) == indexInType;
}

std::optional<int> parseLogLevel(std::string_view text) {
    static constexpr std::pair<std::string_view, int> kLevels[] = {
        {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC}, {"fatal", AV_LOG_FATAL},
        {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
        {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG}, {"trace", AV_LOG_TRACE},
    };
    for (const auto& [name, level] : kLevels)
        if (name == text)
            return level;
    std::string_view digits = text;
    if (!digits.empty() && digits[0] == '-')
        digits.remove_prefix(1);
    if (allDigits(digits))
        return std::atoi(std::string(text).c_str());
    return std::nullopt;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine result;
    CommandLine& line = result.line;
    FileOptions pending;
    bool pendingUsed = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            // A file name: the output (FFmpeg's syntax also reads "-" as one).
            if (line.output)
                return refuse(AVERROR(EINVAL), "mirovex writes one output file; '" + arg +
                                                   "' is a second one.");
            pending.path = arg;
            line.output = std::move(pending);
            pending = FileOptions();
            pendingUsed = false;
            continue;
        }

        const std::string_view opt = std::string_view(arg).substr(1);
        const std::string_view name = baseName(opt);
        const std::string_view specifier = specifierOf(opt);
        const Handler* handler = findHandler(name);
        const std::string displayName(opt);

        std::string value;
        const bool needsValue = !handler || handler->arg == Arg::Required;
        if (needsValue) {
            // An option that nobody knows is reported as such, even without a value.
            if (!handler && !findLibraryOption(std::string(name)) &&
                !findLibraryOption(modernOptionName(name)))
                return refuse(AVERROR_OPTION_NOT_FOUND,
                              "Unrecognized option '" + displayName +
                                  "'.\nError splitting the argument list: Option not found");
            if (i + 1 >= args.size())
                return refuse(AVERROR(EINVAL),
                              "Missing argument for option '" + displayName +
                                  "'.\nError splitting the argument list: Invalid argument");
            value = args[++i];
        }
        if (!isValidSpecifier(specifier) || (handler && !handler->takesSpecifier && !specifier.empty()))
            return refuse(AVERROR(EINVAL), "Invalid stream specifier: " + std::string(specifier) + ".");

        if (handler && handler->scope == Scope::Global) {
            if (name == "y")
                line.overwrite = true;
            else if (name == "n")
                line.neverOverwrite = true;
            else if (name == "hide_banner")
                line.hideBanner = true;
            else if (name == "nostdin")
                line.noStdin = true;
            else if (name == "stdin")
                line.noStdin = false;
            else if (name == "stats")
                line.stats = true;
            else if (name == "nostats")
                line.stats = false;
            else {  // -loglevel, -v
                const auto level = parseLogLevel(value);
                if (!level)
                    return refuse(AVERROR(EINVAL),
                                  "Invalid loglevel \"" + value + "\".");
                line.logLevel = *level;
            }
            continue;
        }

        if (handler && name == "i") {
            if (line.input)
                return refuse(AVERROR(EINVAL),
                              "mirovex reads one input file; '" + value + "' is a second one.");
            pending.path = value;
            line.input = std::move(pending);
            pending = FileOptions();
            pendingUsed = false;
            continue;
        }

        pendingUsed = true;
        if (handler) {
            applyFileOption(pending, name, specifier, value);
            continue;
        }

        // An AVOption: by its own name, else by the name it has today. A
        // renamed option may carry its own specifier ("-ab" is "-b:a").
        std::string libName(name);
        std::string libSpec(specifier);
        auto kind = findLibraryOption(libName);
        if (!kind) {
            const std::string modern = modernOptionName(name);
            libName = std::string(baseName(modern));
            if (libSpec.empty())
                libSpec = std::string(specifierOf(modern));
            kind = findLibraryOption(libName);
        }
        pending.avOptions.push_back(AvOption{libName, libSpec, value, *kind});
    }

    line.trailingOptions = pendingUsed;
    return result;
}

}  // namespace mirovex
