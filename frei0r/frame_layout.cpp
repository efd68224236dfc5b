// The frei0r host and its row layout; see frame_layout.h.
#include "frame_layout.h"

#include <cstdio>
#include <cstring>

#include <dlfcn.h>

namespace {

constexpr unsigned versionInt(unsigned major, unsigned minor, unsigned micro) {
    return major << 16 | minor << 8 | micro;
}

// The release from which ffmpeg's frei0r filter pads both frames' rows to
// 16 pixels (ffmpeg 5.1).
constexpr unsigned kPaddedRowsFrom = versionInt(8, 44, 100);

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

} // namespace

Frei0rCaller frei0rCallerAt(const void* returnAddress) {
    Frei0rCaller caller;
    Dl_info where;
    if (dladdr(returnAddress, &where) == 0 || where.dli_fname == nullptr) return caller;
    if (std::strncmp(baseName(where.dli_fname), "libmltfrei0r", 12) == 0) {
        caller.host = Frei0rHost::mlt;
        return caller;
    }
    // ffmpeg's frei0r filter lives in libavfilter, which tells its version.
    // The symbol must be the caller's own, not one of its dependencies'
    // (MLT's and GStreamer's modules link libavfilter too).
    void* object = dlopen(where.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (object == nullptr) return caller;
    void* version = dlsym(object, "avfilter_version");
    Dl_info versionWhere;
    if (version != nullptr && dladdr(version, &versionWhere) != 0 &&
        versionWhere.dli_fbase == where.dli_fbase) {
        caller.host = Frei0rHost::ffmpeg;
        caller.libavfilterVersion = reinterpret_cast<unsigned (*)()>(version)();
    }
    dlclose(object);
    return caller;
}

RowLayout rowLayoutFor(const Frei0rCaller& caller, std::int32_t width) {
    if (caller.host != Frei0rHost::ffmpeg) return {width, ""};
    if (caller.libavfilterVersion >= kPaddedRowsFrom)
        return {(std::int64_t{width} + 15) / 16 * 16, ""};
    if (width % 64 == 0) return {width, ""};
    const std::int64_t padded = (std::int64_t{width} + 63) / 64 * 64;
    char text[768];
    std::snprintf(text, sizeof text,
                  "velmor: this ffmpeg (before 5.1) hands frei0r plug-ins rows laid out for its "
                  "own alignment, which at width %d is not what the plug-in can see, so the "
                  "frames would come out damaged. Pad the picture to %lld columns, tell the "
                  "plug-in how much of each row is picture, and crop the padding off again:\n"
                  "  -vf \"format=bgra,pad=%lld:ih,frei0r=velmor:|1|0.0392|0.1667|n|n|n|%.6f,"
                  "crop=%d:ih:0:0\"\n"
                  "(the numbers before the last are the defaults: put your own settings "
                  "there)\n",
                  width, static_cast<long long>(padded), static_cast<long long>(padded),
                  static_cast<double>(width) / static_cast<double>(padded), width);
    return {0, text};
}
