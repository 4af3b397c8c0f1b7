// mirovex: converts an FLV file to MP4 with FFmpeg's libraries, taking
// FFmpeg's command-line options and writing FFmpeg's console output.
#include "converter/Console.h"
#include "converter/Ffmpeg.h"
#include "converter/Muxing.h"
#include "converter/Options.h"
#include "converter/Transcode.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

int run(int argc, wchar_t** argv) {
    using namespace mirovex;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(toUtf8(argv[i]));

    av_log_set_callback(logCallback);
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (parsed.error < 0) {
        av_log(nullptr, AV_LOG_FATAL, "%s\n", parsed.message.c_str());
        return 1;
    }
    const CommandLine& line = parsed.line;
    av_log_set_level(line.logLevel);
    if (line.trailingOptions)
        av_log(nullptr, AV_LOG_WARNING, "Trailing option(s) found in the command line, may be ignored.\n");

    if (!line.input && !line.output) {
        av_log(nullptr, AV_LOG_INFO,
               "usage: mirovex [options] [[infile options] -i infile] [outfile options] outfile\n");
        return 1;
    }
    if (!line.output)
        return runProbe(line);
    if (!line.input) {
        av_log(nullptr, AV_LOG_FATAL, "Output file #0 does not contain any stream\n");
        return 1;
    }
    return runConversion(line, fromUtf8(line.output->path));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    mirovex::consoleStart();
    const int code = run(argc, argv);
    // A reader that has stopped reading must not keep the process alive.
    mirovex::consoleFinish(2000);
    return code;
}
