// --demo, in o.demoDir: washed-out.mp4 (ffmpeg's test picture with its
// contrast lowered), corrected.mp4 (velmor's conversion of it) and
// before-after.png.
#include "demo.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "convert.h"
#include "messages.h"
#include "output_file.h"
#include "process.h"
#include "signals.h"

namespace {

int runFfmpeg(const std::vector<std::string>& args, const std::string& what) {
    std::string out, last;
    if (runCapture(args, out, last) != 0) return failure("ffmpeg failed " + what + ": " + last);
    return 0;
}

} // namespace

int demo(const Options& o) {
    if (!programExists("ffmpeg"))
        return failure("the demo needs ffmpeg; install it (apt-get install ffmpeg)");
    if (mkdir(o.demoDir.c_str(), 0755) != 0 && errno != EEXIST)
        return failure("cannot make the folder " + o.demoDir + ": " + std::strerror(errno));
    const std::string sample = o.demoDir + "/washed-out.mp4";
    const std::string corrected = o.demoDir + "/corrected.mp4";
    const std::string picture = o.demoDir + "/before-after.png";
    std::fprintf(stderr, "velmor: making a washed-out sample clip, %s\n", sample.c_str());
    if (int rc = runFfmpeg({"ffmpeg", "-hide_banner", "-nostdin", "-v", "error", "-y", "-f",
                            "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=4", "-f",
                            "lavfi", "-i", "sine=frequency=440:duration=4", "-vf",
                            "eq=contrast=0.45:brightness=0.12:saturation=0.6", "-c:v", "libx264",
                            "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", sample},
                           "making the sample"))
        return rc;
    Options c = o;
    c.mode = Mode::Convert;
    c.input = sample;
    c.output = corrected;
    c.overwrite = Overwrite::Always; // the demo's own folder
    std::fprintf(stderr, "velmor: correcting it into %s\n", corrected.c_str());
    if (int rc = convert(c)) return rc;
    std::fprintf(stderr, "velmor: before and after, side by side: %s\n", picture.c_str());
    const std::string temporary = temporaryNameFor(picture);
    if (caughtSignal) return 128 + caughtSignal;
    if (int rc = runFfmpeg({"ffmpeg", "-hide_banner", "-nostdin", "-v", "error", "-y", "-ss",
                            "2", "-i", sample, "-ss", "2", "-i", corrected, "-filter_complex",
                            "[0:v][1:v]hstack", "-frames:v", "1", "-update", "1", temporary},
                           "drawing the before/after picture")) {
        std::remove(temporary.c_str());
        return rc;
    }
    if (std::rename(temporary.c_str(), picture.c_str()) != 0)
        return failure("cannot write " + picture + ": " + std::strerror(errno));
    return 0;
}
