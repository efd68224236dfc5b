// The colour of the corrected picture: how its RGB goes back to YUV (the
// input's own matrix and range), in the names of ffmpeg's scale filter and
// of zscale, and the tags that say so. One table of matrix names and one
// range rule serve both the 8-bit route's scale and the deep route's zscale.
#pragma once

#include <string>
#include <vector>

#include "probe.h"

// A tag ffprobe gives that says something ("unknown" and "reserved" do not).
bool known(const std::string& tag);

// RGB-coded: RGB pixels, or YUV tagged with the identity matrix ("gbr").
bool codedAsRgb(const MediaInfo& m, bool rgbPixels);

// Full range: tagged so ("pc"), or a pixel format that is (yuvj420p).
bool isFullRange(const MediaInfo& m);

// A matrix tag's name for ffmpeg's scale filter ("" when it has none: the
// scaler's default) and for zscale (untagged is BT.601, "170m", as ffmpeg's
// scaler and so the 8-bit route take it).
std::string scaleMatrix(const std::string& space);
std::string zscaleMatrix(const std::string& space);

// How the filter's BGRA goes back to YUV, and the tags that say so.
struct OutputColour {
    std::string scaleOptions;        // for ffmpeg's scale filter
    std::string matrixTag, rangeTag; // "" leaves the tag unset
};

OutputColour outputColour(const MediaInfo& m, bool rgbInput);

// The zscale options that say how the YUV side is coded: the input's own
// matrix and range, or for RGB-coded input BT.601 at limited range, as
// outputColour converts it back.
std::string zscaleYuvOptions(const Source& s, const char* matrixKey, const char* rangeKey);

// The colour tags: primaries and transfer come through the filter graph
// with the frames as the input has them (ffmpeg 5.1 keeps them, tagged in
// the stream or only in the container); the matrix and range are the last
// conversion's, for YUV only.
void addColourTags(std::vector<std::string>& a, const Source& s, const std::string& pixFmt);
