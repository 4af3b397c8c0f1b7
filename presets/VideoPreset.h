// Preset families: the named converter option sets offered to the user and
// the extension of the files a family produces.
#pragma once

#include <string>

// One row of a preset table; a table ends with a row whose name is null.
struct PresetEntry {
    const wchar_t* name;        // shown in the preset combo box
    const wchar_t* parameters;  // converter options, written as they stand
};

// The abstract family. A family may have no table; it then offers nothing.
class VideoPreset {
public:
    explicit VideoPreset(const PresetEntry* table) : table_(table) {}
    virtual ~VideoPreset() = default;
    VideoPreset(const VideoPreset&) = delete;
    VideoPreset& operator=(const VideoPreset&) = delete;

    // Extension of the output files, without a dot; static lifetime.
    virtual const wchar_t* outputExtension() const = 0;

    int presetCount() const;
    // Empty for any index outside [0, presetCount()).
    std::wstring presetName(int index) const;
    std::wstring presetParameters(int index) const;

protected:
    const PresetEntry* table_;
};

// Conversions whose target is MP4.
class VideoMp4 : public VideoPreset {
public:
    VideoMp4();
    const wchar_t* outputExtension() const override;

protected:
    explicit VideoMp4(const PresetEntry* table) : VideoPreset(table) {}
};

// FLV sources to MP4 files: the family the application offers.
class FlvMp4 : public VideoMp4 {
public:
    FlvMp4();
};

// The five MP4 presets and the terminating row.
extern const PresetEntry kMp4Presets[];
