// A file's conversion, step by step: check the paths, find the plug-in,
// probe, plan the ffmpeg job, take out cover art, run, finish the output.
// Input that cannot be read twice is spooled to a temporary file first.
#include "convert.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ffmpeg_job.h"
#include "file_kinds.h"
#include "media_probe.h"
#include "messages.h"
#include "output_check.h"
#include "output_file.h"
#include "process.h"
#include "run_ffmpeg.h"
#include "signals.h"
#include "sizes.h"

namespace {

// The cover pictures' files, gone when the conversion ends however it ends.
struct RemovedAtEnd {
    const std::vector<CoverArt>& covers;
    ~RemovedAtEnd() {
        for (const CoverArt& c : covers) std::remove(c.file.c_str());
    }
};

// Copies each cover picture out of the input into its file; "" or what went wrong.
std::string takeOutCovers(const std::vector<CoverArt>& covers, const std::string& inputName) {
    for (const CoverArt& c : covers) {
        std::string out, last;
        if (runCapture({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", inputName, "-map",
                        "0:" + std::to_string(c.streamIndex), "-c", "copy", "-frames:v", "1",
                        "-f", "image2", "file:" + c.file},
                       out, last) != 0)
            return "cannot copy the cover art (stream #" + std::to_string(c.streamIndex) +
                   ") out of the input" + (last.empty() ? "" : ": " + last);
    }
    return "";
}

// What the probe says of the input; 0 or an exit status.
int probeInput(const Options& o, const std::string& inputName, bool sequence, MediaInfo& media) {
    std::string last;
    const int status = probeMedia(inputName, sequence, media, last);
    if (status != 0 && caughtSignal) return 128 + caughtSignal; // the probe was stopped
    if (status != 0 && sequence)
        return failure("no pictures are numbered as " + o.input +
                       " (a numbered sequence starts at number 0 to 4, as ffmpeg reads it)");
    if (status != 0)
        return failure(o.input + " is not a video or image that ffmpeg reads" +
                       (last.empty() ? "" : " (" + last + ")"));
    if (media.videoIndex < 0 || media.width <= 0 || media.height <= 0)
        return failure(o.input + " has no video or picture in it");
    const std::string refusal = refusalFor(o, media, o.input);
    if (!refusal.empty()) return failure(refusal);
    return caughtSignal ? 128 + caughtSignal : 0;
}

// Names of velmor's own standard input.
bool namesOurStandardInput(const std::string& name) {
    return name == "-" || name == "/dev/stdin" || name == "/dev/fd/0" || name == "/proc/self/fd/0";
}

// Copies the input from `source` into `fd` (the file `name`) until it ends
// or a signal comes; "" or what went wrong.
std::string spool(const Options& o, int source, int fd, const std::string& name) {
    std::vector<char> buffer(kReadPiece);
    std::string problem;
    for (;;) {
        if (caughtSignal) break;
        const ssize_t n = read(source, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) problem = "cannot read " + o.input + ": " + std::strerror(errno);
        if (n <= 0) break;
        if (!writeFully(fd, buffer.data(), static_cast<std::size_t>(n))) {
            problem = "cannot keep " + o.input + " in " + name + ": " + std::strerror(errno);
            break;
        }
    }
    return problem;
}

// The finished temporary file read back before it becomes the output: one
// that does not read to its end never replaces anything. 0 or an exit status.
int checkWritten(const Options& o, const OutputTarget& t) {
    const std::string fault = unreadableOutput(t.temporary, isImageExtension(t.ext));
    if (caughtSignal)
        return failure(std::string("interrupted (") + strsignal(caughtSignal) + "); " + o.output +
                           " was not written",
                       128 + caughtSignal);
    return fault.empty() ? 0 : failure("cannot write " + o.output + ": the file ffmpeg wrote " + fault);
}

} // namespace

// Where velmor.so is: beside the program, in the build tree (the program in
// cli/, the plug-in in frei0r/), or installed (bin/ and lib/frei0r-1/ under
// one prefix, or /usr/lib/frei0r-1).
std::string findPluginDirectory(std::string& looked) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::vector<std::string> dirs;
    if (n > 0) {
        std::string exe(self, static_cast<std::size_t>(n));
        const std::string dir = exe.substr(0, exe.find_last_of('/'));
        dirs = {dir, dir + "/../frei0r", dir + "/../lib/frei0r-1"};
    }
    dirs.push_back("/usr/lib/frei0r-1");
    for (const auto& d : dirs) {
        if (access((d + "/velmor.so").c_str(), R_OK) == 0) {
            char real[PATH_MAX];
            return realpath(d.c_str(), real) ? std::string(real) : d;
        }
        looked += (looked.empty() ? "" : ", ") + d;
    }
    return {};
}

int convertFile(const Options& o, const std::string& source) {
    OutputTarget target;
    // A name like f%03d.png that is no file names numbered pictures.
    const bool sequence = isPictureSequence(source) && access(source.c_str(), F_OK) != 0;
    if (const int rc = checkPaths(o, source, sequence, target)) return rc;
    if (!programExists("ffmpeg"))
        return failure("ffmpeg is needed to read and write files; install ffmpeg "
                       "(apt-get install ffmpeg), or use --raw");
    std::string looked;
    const std::string pluginDir = findPluginDirectory(looked);
    if (pluginDir.empty())
        return failure("cannot find velmor.so, the filter for ffmpeg (looked in " + looked +
                       "); build it (cmake --build build --target velmor_frei0r) or install it");
    const std::string inputName = "file:" + source;
    MediaInfo media;
    if (const int rc = probeInput(o, inputName, sequence, media)) return rc;

    if (const int rc = claimTemporary(o, target)) return rc;
    const std::string coverPrefix =
        temporaryFolder() + "/velmor-" + std::to_string(getpid()) + "-cover";
    const std::string outputName = target.toStdout ? "pipe:1" : "file:" + target.temporary;
    Job job = buildJob(o, media, inputName, outputName, target.ext, coverPrefix);
    if (!job.decoderArgs.empty() && !ffmpegHasFilter("zscale")) {
        warn("this ffmpeg has no zscale filter (built without libzimg), which the correction "
             "at " + std::to_string(job.deepBits) + " bits needs: correcting through 8 bits");
        Options eightBit = o;
        eightBit.route = Route::EightBit;
        job = buildJob(eightBit, media, inputName, outputName, target.ext, coverPrefix);
    }
    if (target.toStdout) job.args.insert(job.args.end() - 1, {"-f", "matroska"});
    for (const auto& w : job.warnings) warn(w);
    if (std::getenv("VELMOR_SHOW_COMMAND")) { // for bench/ and for seeing what runs
        std::string line;
        for (const auto& a : job.decoderArgs) line += (line.empty() ? "" : " ") + a;
        if (!line.empty()) line += " | velmor | ";
        for (const auto& a : job.args) line += (line.empty() ? "" : " ") + a;
        std::fprintf(stderr, "velmor: FREI0R_PATH=%s %s\n", pluginDir.c_str(), line.c_str());
    }

    const RemovedAtEnd covers{job.covers};
    std::string error = takeOutCovers(job.covers, inputName);
    const RunResult run = error.empty() ? runJob(o, job, pluginDir, error) : RunResult{};
    int rc = !error.empty() ? failure(error) : reportRun(o, job, run, target.temporary);
    if (rc == 0 && !target.toStdout) rc = checkWritten(o, target);
    if (rc != 0 || target.toStdout) {
        std::remove(target.temporary.c_str());
        return rc;
    }
    return finishOutput(o, target);
}

int convert(const Options& o) {
    catchTerminatingSignals();
    struct stat st {};
    const bool ours = namesOurStandardInput(o.input); // ffmpeg's would be another
    const bool stream = ours || (stat(o.input.c_str(), &st) == 0 &&
                                 (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)));
    if (!stream) return convertFile(o, o.input);
    const int source = ours ? 0 : ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) return failure("cannot read " + o.input + ": " + std::strerror(errno));
    if (isatty(source))
        return failure(o.input + " is a terminal; pipe a video into velmor instead");
    std::string name = temporaryFolder() + "/velmor-stdin-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return failure("cannot keep " + o.input + " in " + name + ": " + std::strerror(errno));
    const std::string problem = spool(o, source, fd, name);
    close(fd);
    if (!ours) close(source);
    const int rc = caughtSignal ? 128 + caughtSignal
                   : problem.empty() ? convertFile(o, name)
                                     : failure(problem);
    unlink(name.c_str());
    return rc;
}
