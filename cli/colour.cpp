// The matrix names of ffmpeg's tags for both scalers, the range rule, and
// the conversion back to YUV with its tags.
#include "colour.h"

namespace {

// A matrix tag and its names in ffmpeg's scale filter and in zscale.
struct MatrixNames {
    const char* tag;
    const char* scale;
    const char* zscale;
};

constexpr MatrixNames kMatrices[] = {
    {"bt709", "bt709", "709"},           {"smpte170m", "bt601", "170m"},
    {"bt470bg", "bt601", "470bg"},       {"smpte240m", "smpte240m", "240m"},
    {"fcc", "fcc", "fcc"},               {"bt2020nc", "bt2020", "2020_ncl"},
    {"bt2020c", "bt2020", "2020_cl"},
};

const MatrixNames* matrixNames(const std::string& space) {
    for (const MatrixNames& n : kMatrices)
        if (space == n.tag) return &n;
    return nullptr;
}

} // namespace

bool known(const std::string& tag) {
    return !tag.empty() && tag != "unknown" && tag != "reserved";
}

// YUV input goes back with its own matrix and range, whether or not the
// matrix is tagged (untagged: ffmpeg's default matrix both ways, the range
// still as the input's). RGB-coded input has no YUV matrix of its own: it
// gets BT.601 at limited range, as a plain transcode converts it, and the
// tags say so instead of passing on "gbr", which describes no YUV.
bool codedAsRgb(const MediaInfo& m, bool rgbPixels) {
    return rgbPixels || m.colorSpace == "gbr";
}

bool isFullRange(const MediaInfo& m) {
    return m.colorRange == "pc" || traitsOf(m.pixFmt).fullRange;
}

std::string scaleMatrix(const std::string& space) {
    const MatrixNames* n = matrixNames(space);
    return n ? n->scale : "";
}

// The conversions of the deep route go through zscale: ffmpeg's own scaler
// keeps white at 65283 rather than 65535 in 16-bit RGB (10-bit Y 940 comes
// back as 943 once the filter stretches white to the top), while zscale
// maps the limits onto 0 and 65535 exactly.
std::string zscaleMatrix(const std::string& space) {
    const MatrixNames* n = matrixNames(space);
    return n ? n->zscale : "170m";
}

OutputColour outputColour(const MediaInfo& m, bool rgbInput) {
    if (codedAsRgb(m, rgbInput))
        return {"out_color_matrix=bt601:out_range=tv", "smpte170m", "tv"};
    const std::string matrix = scaleMatrix(m.colorSpace);
    const bool full = isFullRange(m);
    OutputColour c;
    c.scaleOptions = (matrix.empty() ? "" : "out_color_matrix=" + matrix + ":") +
                     "out_range=" + (full ? "pc" : "tv");
    if (known(m.colorSpace)) c.matrixTag = m.colorSpace;
    if (known(m.colorRange) || full) c.rangeTag = full ? "pc" : "tv";
    return c;
}

std::string zscaleYuvOptions(const Source& s, const char* matrixKey, const char* rangeKey) {
    if (codedAsRgb(s.m, s.in.rgb))
        return std::string(matrixKey) + "=170m:" + rangeKey + "=limited";
    return std::string(matrixKey) + "=" + zscaleMatrix(s.m.colorSpace) + ":" + rangeKey + "=" +
           (isFullRange(s.m) ? "full" : "limited");
}

void addColourTags(std::vector<std::string>& a, const Source& s, const std::string& pixFmt) {
    if (pixFmt.empty() || traitsOf(pixFmt).rgb) return;
    const OutputColour colour = outputColour(s.m, s.in.rgb);
    if (!colour.matrixTag.empty()) a.insert(a.end(), {"-colorspace", colour.matrixTag});
    if (!colour.rangeTag.empty()) a.insert(a.end(), {"-color_range", colour.rangeTag});
}
