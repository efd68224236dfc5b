// The frei0r host and its row layout; see frame_layout.h.
#include "frame_layout.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <dlfcn.h>

#include "layout_probe.h"

namespace {

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// The name the frei0r filter finds this plug-in by: its file's name without
// ".so". The probe graph loads it so, searching where the host's filter
// found it, and so gets this very image back.
std::string pluginName() {
    Dl_info self;
    if (dladdr(reinterpret_cast<const void*>(&layoutProbeOnThisThread), &self) == 0 ||
        self.dli_fname == nullptr)
        return "";
    const std::string file = baseName(self.dli_fname);
    const std::size_t suffix = file.size() >= 3 ? file.size() - 3 : 0;
    return file.size() > 3 && file.compare(suffix, 3, ".so") == 0 ? file.substr(0, suffix) : "";
}

// What the probe found per library and width, for this process's life:
// ffmpeg makes an instance per filter and per change of size, and each
// asks here. The lock is held through a probe, so a second thread asking
// for the same width waits for its answer instead of probing again; the
// probe's own instance is made without asking (layoutProbeOnThisThread).
struct SeenWidth {
    std::string library;
    std::int32_t width;
    LayoutSeen seen;
};

LayoutSeen seenAt(const char* library, std::int32_t width) {
    static std::mutex lock;
    static std::vector<SeenWidth> seen;
    std::lock_guard<std::mutex> hold(lock);
    for (const SeenWidth& s : seen)
        if (s.width == width && s.library == library) return s.seen;
    const std::string name = pluginName();
    LayoutSeen found = name.empty() ? LayoutSeen{0, "loaded this plug-in from a file it cannot "
                                                    "name to load it again"}
                                    : probeLibavfilter(library, name, width);
    seen.push_back({library, width, found});
    return found;
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
        caller.library = where.dli_fname;
    }
    dlclose(object);
    return caller;
}

RowLayout rowLayoutFor(const Frei0rCaller& caller, std::int32_t width) {
    if (caller.host != Frei0rHost::ffmpeg || caller.library == nullptr)
        return rowLayoutFrom({std::int64_t{width} * 4, ""}, width);
    return rowLayoutFrom(seenAt(caller.library, width), width);
}

RowLayout rowLayoutFrom(const LayoutSeen& seen, std::int32_t width) {
    if (seen.pitchBytes >= std::int64_t{width} * 4) return {seen.pitchBytes, ""};
    if (width % 64 == 0) return {std::int64_t{width} * 4, ""};
    const std::int64_t padded = (std::int64_t{width} + 63) / 64 * 64;
    char text[1024];
    std::snprintf(text, sizeof text,
                  "velmor: at width %d this ffmpeg's frei0r filter %s, so the plug-in cannot "
                  "tell where the rows of the frames are, and they would come out damaged. Pad "
                  "the picture to %lld columns, tell the plug-in how much of each row is "
                  "picture, and crop the padding off again:\n"
                  "  -vf \"format=bgra,pad=%lld:ih,frei0r=velmor:|1|0.0392|0.1667|n|n|n|%.6f,"
                  "crop=%d:ih:0:0\"\n"
                  "(the numbers before the last are the defaults: put your own settings "
                  "there)\n",
                  width, seen.why.empty() ? "lays out its frames in a way not seen" : seen.why.c_str(),
                  static_cast<long long>(padded), static_cast<long long>(padded),
                  static_cast<double>(width) / static_cast<double>(padded), width);
    return {0, text};
}
