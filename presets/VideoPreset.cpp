#include "presets/VideoPreset.h"

// Row 0 is the default. The order is the order users have always seen, not an
// order of quality: row 0 has the largest crf of the three H.264 rows.
const PresetEntry kMp4Presets[] = {
    {L"MPEG-4 H.264 video (high quality)",
     L"-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 -rc_lookahead 50 -threads 0"},
    {L"MPEG-4 H.264 video (super high quality)",
     L"-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 -rc_lookahead 60 -threads 0"},
    {L"MPEG-4 H.264 video (very high quality)",
     L"-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 -rc_lookahead 60 -threads 0"},
    {L"MP4 Fullscreen",
     L"-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v 1250k -maxrate 1500k -bufsize 4M "
     L"-bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 "
     L"-partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 "
     L"-qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 "
     L"-wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2"},
    {L"MP4 Widescreen",
     L"-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect 16:9 -maxrate 1500k -bufsize 4M "
     L"-bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 "
     L"-partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 "
     L"-qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 "
     L"-wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2"},
    {nullptr, nullptr},
};

namespace {

// The row at `index`, or null; the end is found by the name column alone.
const PresetEntry* rowAt(const PresetEntry* table, int index) {
    if (!table)
        return nullptr;
    for (int i = 0; table[i].name; ++i) {
        if (i == index)
            return &table[i];
    }
    return nullptr;
}

}  // namespace

int VideoPreset::presetCount() const {
    int count = 0;
    if (table_) {
        while (table_[count].name)
            ++count;
    }
    return count;
}

std::wstring VideoPreset::presetName(int index) const {
    const PresetEntry* row = rowAt(table_, index);
    return row ? row->name : std::wstring();
}

std::wstring VideoPreset::presetParameters(int index) const {
    const PresetEntry* row = rowAt(table_, index);
    return row && row->parameters ? row->parameters : std::wstring();
}

VideoMp4::VideoMp4() : VideoPreset(kMp4Presets) {}

const wchar_t* VideoMp4::outputExtension() const { return L"mp4"; }

FlvMp4::FlvMp4() : VideoMp4(kMp4Presets) {}
