// The output file. Packets go to a temporary file beside the target, which
// replaces the target only when the run has ended well (or on "q"): a failed
// run leaves no output, and an existing output survives it.
#pragma once

#include "converter/Ffmpeg.h"

#include <string>

namespace mirovex {

// "<target>.<pid>.part": beside the target, so the final rename stays on one volume.
std::wstring temporaryPathFor(const std::wstring& target, unsigned long processId);

std::string toUtf8(const std::wstring& wide);
std::wstring fromUtf8(const std::string& utf8);

// True when both names lead to one existing file (any spelling, any link).
bool sameFile(const std::wstring& a, const std::wstring& b);

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Chooses the muxer (-f, else the target's extension); touches no file.
    int create(const std::wstring& target, const std::string& format);
    AVFormatContext* context() const { return ctx_.get(); }

    // Opens the temporary file and writes the header.
    int begin(AVDictionary** formatOptions);
    int write(AVPacket* packet);
    // Writes the trailer, closes the file and renames it over the target.
    int commit();

    int64_t bytesWritten() const;
    const std::wstring& target() const { return target_; }

private:
    OutputContextPtr ctx_;
    std::wstring target_;
    std::wstring temp_;
    bool tempExists_ = false;
    int64_t finalSize_ = -1;
};

}  // namespace mirovex
