// What ffprobe says of the input, read into plain facts: the streams, the
// picture's size, turn, pixel format and colour tags, its length, and what
// its pixel format says of alpha, depth and chroma.
#pragma once

#include <string>
#include <vector>

struct StreamInfo {
    int index = -1;
    std::string type, codec, title; // type: video, audio, subtitle, attachment, data
    std::string fileName;           // an attachment's, as tagged
    bool attachedPicture = false;   // cover art
};

struct MediaInfo {
    std::string formatName;
    double duration = 0; // seconds the file claims; 0 when unknown
    // The first video stream that is not a cover picture:
    int videoIndex = -1;
    std::string codec, profile, pixFmt, fieldOrder, colorRange, colorSpace, colorPrimaries,
        colorTransfer, frameRate;
    int width = 0, height = 0, rotation = 0;
    long frames = 0; // as the file claims (or its duration times its rate); 0 unknown
    bool pictureSequence = false; // the input is numbered pictures (f%03d.png)
    // Seconds the picture starts after the file's first stream (its audio,
    // say); 0 when it starts first or either start is unknown.
    double videoStartOffset = 0;
    // The decoder to name before the input, "" for ffmpeg's own: VP8 and VP9
    // carry alpha beside the picture (tagged alpha_mode), which only libvpx
    // decodes; pixFmt then says the frames it gives (yuva420p).
    std::string decoder;
    std::vector<StreamInfo> streams;
};

// ffprobe -show_streams -show_format -show_frames -read_intervals %+#1
// -of flat, read: the streams, and the first frame's turn where the stream
// has none of its own.
MediaInfo parseProbe(const std::string& flat);

// The picture size after ffmpeg turns it as its rotation tag says: what the
// filter's frames have.
int displayWidth(const MediaInfo& m);
int displayHeight(const MediaInfo& m);

// How ffmpeg reads the input as the probe describes it, up to and with its
// -i: a numbered sequence or a literal picture name as such, then (when
// `decode`: the picture is decoded from this input) the decoder of
// MediaInfo::decoder for that stream.
std::vector<std::string> inputArgs(const MediaInfo& m, const std::string& inputName, bool decode);

// What a pixel format says about alpha, depth and chroma.
struct PixelTraits {
    bool alpha = false, rgb = false, fullRange = false;
    bool gray = false; // one channel, full range, that RGB holds as R = G = B
    int depth = 8;
    std::string chroma = "420"; // 420, 422, 444 (rgb counts as 444), 440, 411, 410
};

PixelTraits traitsOf(const std::string& pixFmt);

// Grey without alpha. A grey picture reaches the filter as R = G = B; the
// filter treats every channel alike, so they stay equal, and any one of
// them is the corrected grey, taken as it is. A conversion by luma weights
// would round it (16-bit 58418 comes back 58413 from zscale).
bool isPlainGray(const std::string& pixFmt);

// What the input is, as the job's choices need it.
struct Source {
    const MediaInfo& m;
    PixelTraits in;
    int width, height; // as the filter sees the picture, turned
    bool lossless, prores;
};

Source sourceOf(const MediaInfo& m);
