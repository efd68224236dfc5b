// velmor: the filter on the command line.
//
//   velmor INPUT -o OUTPUT   one ffmpeg process with the filter in its filter
//                            graph (velmor.so through ffmpeg's frei0r filter);
//                            velmor chooses the command and reports on it
//   velmor --raw WxH         raw BGRA frames on stdin -> filter -> stdout, the
//                            filter driven as the video host drives it
//   velmor --demo [DIR]      a washed-out sample clip, corrected, and a
//                            before/after picture
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

#include "deep_correct.h"
#include "deep_route.h"
#include "ffmpeg_job.h"
#include "filter_host.h"
#include "options.h"
#include "process.h"
#include "velmor_version.h"

namespace {

constexpr const char* kVersion = "velmor " VELMOR_VERSION;

// The terminating signal that arrived, if any: the conversion stops its
// ffmpeg, removes the temporary file and exits as the shell expects.
volatile std::sig_atomic_t caughtSignal = 0;
void onSignal(int s) {
    caughtSignal = s;
}
void catchTerminatingSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(s, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int failure(const std::string& message, int code = 1) {
    std::fprintf(stderr, "velmor: %s\n", message.c_str());
    return code;
}

void warn(const std::string& message) {
    std::fprintf(stderr, "velmor: warning: %s\n", message.c_str());
}

// Progress on standard error when it is a terminal.
struct Progress {
    bool shown;
    long totalFrames;
    double totalSeconds;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now(),
                                          last = started;
    Progress(bool quiet, long frames, double seconds)
        : shown(!quiet && isatty(2)), totalFrames(frames), totalSeconds(seconds) {}
    void update(long done, double seconds, bool final = false) {
        if (!shown) return;
        const auto now = std::chrono::steady_clock::now();
        if (!final && now - last < std::chrono::milliseconds(250)) return;
        last = now;
        const double elapsed = std::chrono::duration<double>(now - started).count();
        const double fps = elapsed > 0 ? done / elapsed : 0;
        char line[200];
        if (totalSeconds > 0 && seconds > 0 && !final) {
            const long left = static_cast<long>((totalSeconds - seconds) * elapsed / seconds);
            std::snprintf(line, sizeof line,
                          "\rvelmor: frame %ld of about %ld, %.0f%%, %.1f fps, %ld:%02ld left ",
                          done, totalFrames, std::min(100.0, 100 * seconds / totalSeconds), fps,
                          std::max(0L, left) / 60, std::max(0L, left) % 60);
        } else {
            std::snprintf(line, sizeof line, "\rvelmor: frame %ld, %.1f fps%s", done, fps,
                          final ? "                          " : " ");
        }
        std::fputs(line, stderr);
        if (final) std::fputs("\n", stderr);
    }
};

// Reads one frame of `bytes` bytes, growing `frame` only as the bytes come.
// Returns the bytes read (fewer at the end of input).
std::size_t readFrame(int fd, std::vector<std::uint8_t>& frame, std::size_t bytes) {
    constexpr std::size_t kPiece = 1 << 20; // a multiple of 4
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t want = std::min(kPiece, bytes - done);
        if (frame.size() < done + want) frame.resize(done + want);
        const std::size_t got = readFully(fd, frame.data() + done, want);
        done += got;
        if (got < want) break;
    }
    return done;
}


std::unique_ptr<FilterHost> makeHost(const Options& o) {
    auto host = std::make_unique<FilterHost>();
    const UserSettings& s = o.settings;
    if (s.line) {
        host->configure(mergedLine(s)); // as a saved script's Config call
    } else {
        storeGivenSettings(s, host->settings()); // the rest as the filter's init left it
    }
    host->setShowStats(o.stats);
    return host;
}

// The output's temporary name: beside it, hidden, short (the output's own
// name may be as long as a name can be), with the extension that tells
// ffmpeg the format.
std::string temporaryNameFor(const std::string& output) {
    const std::size_t slash = output.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    return dir + ".velmor-" + std::to_string(getpid()) + "." + extensionOf(output);
}

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

// ffmpeg's error lines, the temporary name replaced by the output's,
// repeats dropped, at most the last `keep`.
std::vector<std::string> ffmpegLines(const std::string& text, const std::string& temporary,
                                     const std::string& output, std::size_t keep) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        for (std::size_t at; !temporary.empty() && (at = line.find(temporary)) != std::string::npos;)
            line.replace(at, temporary.size(), output);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    if (lines.size() > keep) lines.erase(lines.begin(), lines.end() - keep);
    return lines;
}

// Asks on the terminal whether to replace `output`.
bool askToReplace(const std::string& output) {
    std::fprintf(stderr, "velmor: %s exists. Replace it? [y/N] ", output.c_str());
    std::fflush(stderr);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

// Stops the job's ffmpeg: asked first, made to after two seconds.
int stopChild(ChildProcess& child) {
    kill(child.pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 40; ++i) {
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child.pid, SIGKILL);
    return waitForChild(child.pid);
}

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

// Where the output goes, and what is there now.
struct OutputTarget {
    bool toStdout = false;
    bool exists = false;
    struct stat existing {};
    std::string ext, temporary;
};

// The input readable, the output a name velmor may write; 0 or an exit status.
// A numbered sequence is not one file: ffprobe finds its pictures or not.
int checkPaths(const Options& o, const std::string& source, bool sequence, OutputTarget& t) {
    t.toStdout = o.output == "-";
    if (t.toStdout && isatty(1))
        return failure("standard output is a terminal; send it to a file or a pipe");
    struct stat in {}, target {};
    if (sequence)
        in.st_mode = S_IFREG;
    else if (stat(source.c_str(), &in) != 0)
        return failure("cannot read " + o.input + ": " + std::strerror(errno));
    if (!S_ISREG(in.st_mode) || (!sequence && access(source.c_str(), R_OK) != 0))
        return failure("cannot read " + o.input + ": " +
                       (S_ISDIR(in.st_mode) ? std::string("it is a folder")
                        : S_ISREG(in.st_mode) ? std::string(std::strerror(EACCES))
                                              : std::string("it is not a regular file")));
    t.exists = !t.toStdout && lstat(o.output.c_str(), &t.existing) == 0;
    if (t.exists && !sequence && stat(o.output.c_str(), &target) == 0 && target.st_dev == in.st_dev &&
        target.st_ino == in.st_ino)
        return failure("the output " + o.output + " is the input; choose another name");
    if (t.exists && !S_ISREG(t.existing.st_mode))
        return failure(o.output + " exists and is not a regular file (a folder, device, pipe "
                                  "or link); velmor replaces only regular files (for standard "
                                  "output, give -o -)");
    // Standard output gets Matroska, which streams and holds every kind of stream.
    t.ext = t.toStdout ? "mkv" : extensionOf(o.output);
    if (!isKnownExtension(t.ext))
        return failure("the output's extension " +
                           (t.ext.empty() ? "(none)" : "'." + t.ext + "'") +
                           " names no format velmor knows; use .mp4, .mkv, .mov, .webm, .avi, "
                           ".nut, .ts, .mpg, .flv, .ogv, .gif or an image (.png, .jpg, .tif, "
                           "...)",
                       2);
    if (!t.exists || o.overwrite == Overwrite::Always) return 0;
    if (o.overwrite == Overwrite::Never) return failure(o.output + " exists; not replaced (-n)");
    if (!isatty(0) || !isatty(2)) return failure(o.output + " exists; give -y to replace it");
    return askToReplace(o.output) ? 0 : failure("not replaced: " + o.output);
}

// What ffprobe says of the input; 0 or an exit status.
int probeInput(const Options& o, const std::string& inputName, bool sequence, MediaInfo& media) {
    std::vector<std::string> args = {"ffprobe", "-v", "error", "-show_streams", "-show_format",
                                     "-of", "flat"};
    const std::vector<std::string> format = inputFormatArgs(inputName, sequence);
    args.insert(args.end(), format.begin(), format.end());
    args.push_back(inputName);
    std::string probed, last;
    const int status = runCapture(args, probed, last);
    if (status != 0 && sequence)
        return failure("no pictures are numbered as " + o.input +
                       " (a numbered sequence starts at number 0 to 4, as ffmpeg reads it)");
    if (status != 0)
        return failure(o.input + " is not a video or image that ffmpeg reads" +
                       (last.empty() ? "" : " (" + last + ")"));
    media = parseProbe(probed);
    media.pictureSequence = sequence;
    if (media.videoIndex < 0 || media.width <= 0 || media.height <= 0)
        return failure(o.input + " has no video or picture in it");
    const std::string refusal = refusalFor(o, media, o.input);
    if (!refusal.empty()) return failure(refusal);
    return caughtSignal ? 128 + caughtSignal : 0;
}

struct RunResult {
    int status = 0; // as waitpid gives it
    long frames = 0;
    double seconds = 0;
    bool interrupted = false;
    std::string errors; // what ffmpeg wrote to standard error
};

// Reads ffmpeg's progress lines until it ends or a signal comes.
void followProgress(ChildProcess& child, Progress& progress, RunResult& r) {
    std::string pending;
    char buffer[4096];
    while (!caughtSignal) {
        pollfd p{child.pipe, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready <= 0) continue; // a timeout, or a signal to look at
        const ssize_t n = read(child.pipe, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (line.rfind("frame=", 0) == 0) r.frames = std::atol(line.c_str() + 6);
            if (line.rfind("out_time_us=", 0) == 0 && std::atof(line.c_str() + 12) > 0)
                r.seconds = std::atof(line.c_str() + 12) / 1e6;
            if (line.rfind("progress=", 0) == 0) progress.update(r.frames, r.seconds);
        }
    }
    r.interrupted = true;
}

FilterSettings settingsFromOptions(const Options& o);

// Whether the ffmpeg in PATH has the filter `name` (ffmpeg -filters).
bool ffmpegHasFilter(const std::string& name) {
    std::string list, last;
    if (runCapture({"ffmpeg", "-hide_banner", "-nostdin", "-filters"}, list, last) != 0) return false;
    return list.find(" " + name + " ") != std::string::npos;
}

bool failed(int status) {
    return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}

// The deep route: the decoding ffmpeg's frames through the core's deep run
// (on a thread of its own) into the encoding ffmpeg, whose progress is
// followed here. Either ffmpeg failing ends the other: a closed pipe.
RunResult runDeepJob(const Options& o, const Job& job, std::string& error) {
    RunResult r;
    int fromDecoder[2], toEncoder[2];
    if (pipe2(fromDecoder, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return r;
    }
    if (pipe2(toEncoder, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        close(fromDecoder[0]), close(fromDecoder[1]);
        return r;
    }
    // Frames are megabytes: larger pipes mean fewer switches between the
    // processes (the system may cap them; the default then stays).
    fcntl(fromDecoder[0], F_SETPIPE_SZ, 1 << 20);
    fcntl(toEncoder[0], F_SETPIPE_SZ, 1 << 20);
    ChildProcess decoder = startJob(job.decoderArgs, {}, error, -1, fromDecoder[1]);
    close(fromDecoder[1]);
    ChildProcess encoder =
        decoder.pid < 0 ? ChildProcess{} : startJob(job.args, {}, error, toEncoder[0], -1);
    close(toEncoder[0]);
    if (encoder.pid < 0) {
        close(fromDecoder[0]), close(toEncoder[1]);
        if (decoder.pid >= 0) stopChild(decoder);
        return r;
    }
    const FilterSettings settings = settingsFromOptions(o);
    DeepPumpResult pumped;
    std::thread pump([&] {
        pumped = pumpDeepFrames(fromDecoder[0], toEncoder[1], settings, &caughtSignal);
        close(toEncoder[1]); // the encoder's end of input
        close(fromDecoder[0]); // a decoder still writing stops
    });
    Progress progress(o.quiet, job.expectedFrames, job.expectedSeconds);
    followProgress(encoder, progress, r);
    int decoderStatus = 0;
    if (r.interrupted) {
        r.status = stopChild(encoder);
        decoderStatus = stopChild(decoder);
        pump.join();
    } else {
        r.status = waitForChild(encoder.pid);
        pump.join();
        decoderStatus = waitForChild(decoder.pid);
        progress.update(r.frames, r.seconds, true);
    }
    close(encoder.pipe);
    // The decoder's complaint explains the encoder's, never the other way.
    r.errors = errorTextOf(decoder) + errorTextOf(encoder);
    if (!r.interrupted && failed(decoderStatus) && !failed(r.status)) r.status = decoderStatus;
    if (!r.interrupted && !pumped.ok && !failed(decoderStatus) && !failed(r.status)) {
        r.errors += pumped.error + "\n";
        r.status = 1 << 8; // exit status 1
    }
    for (const ChildProcess* c : {&decoder, &encoder})
        if (c->errorFile >= 0) close(c->errorFile);
    if (caughtSignal && progress.shown) std::fputs("\n", stderr);
    return r;
}

// Runs the job's ffmpeg with velmor.so at hand; `error` says why it could not start.
RunResult runJob(const Options& o, const Job& job, const std::string& pluginDir,
                 std::string& error) {
    if (!job.decoderArgs.empty()) return runDeepJob(o, job, error);
    RunResult r;
    ChildProcess child = startJob(job.args, {"FREI0R_PATH=" + pluginDir}, error);
    if (child.pid < 0) return r;
    Progress progress(o.quiet, job.expectedFrames, job.expectedSeconds);
    followProgress(child, progress, r);
    if (r.interrupted) {
        r.status = stopChild(child);
    } else {
        r.status = waitForChild(child.pid);
        progress.update(r.frames, r.seconds, true);
    }
    close(child.pipe);
    r.errors = errorTextOf(child);
    if (child.errorFile >= 0) close(child.errorFile);
    if (caughtSignal && progress.shown) std::fputs("\n", stderr);
    return r;
}

// What the run means for the user: 0 when the output may be kept.
int reportRun(const Options& o, const Job& job, const RunResult& r, const std::string& temporary) {
    const int code = WIFSIGNALED(r.status) ? 128 + WTERMSIG(r.status)
                     : WIFEXITED(r.status) ? WEXITSTATUS(r.status)
                                           : 1;
    if (caughtSignal) {
        failure(std::string("interrupted (") + strsignal(caughtSignal) + "); " + o.output +
                " was not written");
        return 128 + caughtSignal;
    }
    const std::vector<std::string> lines = ffmpegLines(r.errors, temporary, o.output, 12);
    if (code != 0 || r.frames == 0) {
        for (const auto& l : lines) std::fprintf(stderr, "ffmpeg: %s\n", l.c_str());
        return failure(code != 0 ? "ffmpeg failed converting " + o.input + " into " + o.output +
                                       " (exit status " + std::to_string(code) + ")"
                                 : o.input + " gave no frames");
    }
    for (std::size_t i = 0; i < lines.size() && i < 5; ++i)
        warn("ffmpeg: " + lines[lines.size() - std::min<std::size_t>(5, lines.size()) + i]);
    // A file that ends before it says it does.
    if (job.expectedSeconds > 0 && r.seconds > 0 &&
        r.seconds + std::max(0.5, 0.1 * job.expectedSeconds) < job.expectedSeconds) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "%s ended early: %.2f s (%ld frames) read of the %.2f s (about %ld "
                      "frames) it claims; the output holds what was read",
                      o.input.c_str(), r.seconds, r.frames, job.expectedSeconds,
                      job.expectedFrames);
        warn(text);
    }
    return 0;
}

// The finished temporary file becomes the output: a replaced file's owner
// (where velmor may give it, as root) and permissions stay, a new file gets
// the usual ones, and a file that appeared meanwhile is someone else's.
int finishOutput(const Options& o, const OutputTarget& t) {
    if (t.exists) {
        if (chown(t.temporary.c_str(), t.existing.st_uid, t.existing.st_gid) != 0) {
            // not ours to give away: the replacement is the user's own
        }
        chmod(t.temporary.c_str(), t.existing.st_mode & 07777);
    }
    const unsigned flags = t.exists ? 0 : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, t.temporary.c_str(), AT_FDCWD, o.output.c_str(), flags) == 0) return 0;
    const int e = errno;
    std::remove(t.temporary.c_str());
    return failure("cannot write " + o.output + ": " +
                   (e == EEXIST ? std::string("it appeared while converting; not replaced")
                                : std::string(std::strerror(e))));
}

// Converts `source` (the input, or standard input as spooled) as the
// options say; messages name the input as the user gave it. The steps:
// check the paths, probe, plan the ffmpeg job, run it, finish the output.
int convertFile(const Options& o, const std::string& source) {
    OutputTarget target;
    // A name like f%03d.png that is no file names numbered pictures.
    const bool sequence = isPictureSequence(source) && access(source.c_str(), F_OK) != 0;
    if (const int rc = checkPaths(o, source, sequence, target)) return rc;
    if (!programExists("ffmpeg") || !programExists("ffprobe"))
        return failure("ffmpeg and ffprobe are needed to read and write files; install ffmpeg "
                       "(apt-get install ffmpeg), or use --raw");
    std::string looked;
    const std::string pluginDir = findPluginDirectory(looked);
    if (pluginDir.empty())
        return failure("cannot find velmor.so, the filter for ffmpeg (looked in " + looked +
                       "); build it (cmake --build build --target velmor_frei0r) or install it");
    const std::string inputName = "file:" + source;
    MediaInfo media;
    if (const int rc = probeInput(o, inputName, sequence, media)) return rc;

    if (!target.toStdout) {
        target.temporary = temporaryNameFor(o.output);
        const int fd = ::open(target.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return failure("cannot write " + o.output + ": " + std::strerror(errno));
        ::close(fd);
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string coverPrefix = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmor-" +
                                    std::to_string(getpid()) + "-cover";
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
    const int rc = !error.empty() ? failure(error) : reportRun(o, job, run, target.temporary);
    if (rc != 0 || target.toStdout) {
        std::remove(target.temporary.c_str());
        return rc;
    }
    return finishOutput(o, target);
}

// Raw frames are at most this many pixels (a 1 GiB frame, 16384 x 16384),
// and memory is taken as the bytes arrive, not for the size announced.
constexpr std::uint64_t kRawPixelsMax = std::uint64_t(1) << 28;

// Standard input ('-'), a named pipe or a device such as /dev/stdin cannot
// be read twice (once to learn what it holds, once to convert it), so it is
// first copied into a temporary file, which goes again when the conversion
// ends, however it ends.
int convert(const Options& o) {
    catchTerminatingSignals();
    struct stat st {};
    const bool stream = o.input == "-" || o.input == "/dev/stdin" || o.input == "/dev/fd/0" ||
                        o.input == "/proc/self/fd/0" || (stat(o.input.c_str(), &st) == 0 &&
                                           (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)));
    if (!stream) return convertFile(o, o.input);
    const bool ours = o.input == "-" || o.input == "/dev/stdin" || o.input == "/dev/fd/0" ||
                      o.input == "/proc/self/fd/0"; // ffmpeg's would be another
    const int source = ours ? 0 : ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) return failure("cannot read " + o.input + ": " + std::strerror(errno));
    if (isatty(source))
        return failure(o.input + " is a terminal; pipe a video into velmor instead");
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/velmor-stdin-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return failure("cannot keep " + o.input + " in " + name + ": " + std::strerror(errno));
    std::vector<char> buffer(1 << 20);
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
    close(fd);
    if (!ours) close(source);
    const int rc = caughtSignal ? 128 + caughtSignal
                   : problem.empty() ? convertFile(o, name)
                                     : failure(problem);
    unlink(name.c_str());
    return rc;
}

// The settings as the options give them, stored as the dialog and the
// script function store them: for frames the plug-in's host cannot carry.
FilterSettings settingsFromOptions(const Options& o) {
    FilterSettings s{};
    setDefaultSettings(s);
    if (o.settings.line)
        storeScriptNumbers(mergedLine(o.settings), s);
    else
        storeGivenSettings(o.settings, s);
    return s;
}

// The first sample of a deep raw frame at or above 2^depth, as velmor's
// refusal names it ("" for none): the deep run takes samples below that
// and would wrap larger ones into the range. The fourth sample counts
// unless --zero-alpha clears it first.
std::string sampleOutOfRange(const std::uint8_t* frame, std::size_t pixels, int depth,
                             bool zeroAlpha, long frameNumber) {
    static const char* const kNames[] = {"blue", "green", "red", "alpha"};
    const unsigned limit = 1u << depth;
    for (std::size_t i = 0; i < pixels * 4; ++i) {
        if (zeroAlpha && i % 4 == 3) continue;
        const unsigned v = frame[2 * i] | unsigned(frame[2 * i + 1]) << 8;
        if (v >= limit)
            return "--raw: frame " + std::to_string(frameNumber) + ", pixel " +
                   std::to_string(i / 4 + 1) + ": " + kNames[i % 4] + " sample " +
                   std::to_string(v) + " is not below " + std::to_string(limit) +
                   ", the limit of --depth " + std::to_string(depth) + "; the " +
                   std::to_string(frameNumber - 1) + " frames before it were written";
    }
    return "";
}

int rawFrames(const Options& o) {
    if (o.rawWidth <= 0 || o.rawHeight <= 0)
        return failure("--raw: the size must be at least 1x1", 2);
    const std::uint64_t pixels = std::uint64_t(o.rawWidth) * std::uint64_t(o.rawHeight);
    if (pixels > kRawPixelsMax)
        return failure("--raw: frames of " + std::to_string(o.rawWidth) + "x" +
                           std::to_string(o.rawHeight) +
                           " are too large (at most 268435456 pixels, e.g. 16384x16384)",
                       2);
    const bool deep = o.depth > 8;
    const std::size_t frameBytes = static_cast<std::size_t>(pixels) * (deep ? 8 : 4);
    std::vector<std::uint8_t> frame;
    std::signal(SIGPIPE, SIG_IGN);
    // 8 bits: the plug-in, driven as its host drives it; deeper: the core's
    // deep run, which no host of the plug-in can carry.
    std::unique_ptr<FilterHost> host = deep ? nullptr : makeHost(o);
    std::unique_ptr<DeepState> state = deep ? std::make_unique<DeepState>() : nullptr;
    const FilterSettings settings = deep ? settingsFromOptions(o) : FilterSettings{};
    if (host) host->start(o.rawWidth, o.rawHeight);
    Progress progress(o.quiet, 0, 0);
    long done = 0;
    for (;;) {
        std::size_t got = 0;
        try {
            got = readFrame(0, frame, frameBytes);
        } catch (const std::bad_alloc&) {
            return failure("--raw: not enough memory for frames of " +
                           std::to_string(o.rawWidth) + "x" + std::to_string(o.rawHeight));
        }
        if (got == 0) break;
        if (got < frameBytes)
            return failure("--raw: the input ended inside frame " + std::to_string(done + 1) +
                           " (" + std::to_string(got) + " of " + std::to_string(frameBytes) +
                           " bytes); the " + std::to_string(done) +
                           " frames before it were written");
        if (deep && o.depth < 16)
            if (const std::string bad =
                    sampleOutOfRange(frame.data(), pixels, o.depth, o.zeroAlpha, done + 1);
                !bad.empty())
                return failure(bad);
        if (host && o.zeroAlpha)
            host->runFrameZeroingAlpha(frame.data());
        else if (host)
            host->runFrame(frame.data());
        else
            runDeepFrame(settings,
                         {reinterpret_cast<DeepPixel*>(frame.data()), o.rawWidth, o.rawHeight,
                          static_cast<std::ptrdiff_t>(o.rawWidth) * 8, o.depth},
                         o.zeroAlpha ? FourthByte::zeroed : FourthByte::channel, *state);
        if (!writeFully(1, frame.data(), frame.size()))
            return failure(std::string("cannot write frame to standard output: ") +
                           std::strerror(errno));
        progress.update(++done, 0);
    }
    progress.update(done, 0, true);
    return 0;
}

int runFfmpeg(const std::vector<std::string>& args, const std::string& what) {
    std::string out, last;
    if (runCapture(args, out, last) != 0) return failure("ffmpeg failed " + what + ": " + last);
    return 0;
}

int demo(const Options& o) {
    if (!programExists("ffmpeg") || !programExists("ffprobe"))
        return failure("the demo needs ffmpeg; install it (apt-get install ffmpeg)");
    if (mkdir(o.demoDir.c_str(), 0755) != 0 && errno != EEXIST)
        return failure("cannot make the folder " + o.demoDir + ": " + std::strerror(errno));
    const std::string sample = o.demoDir + "/washed-out.mp4";
    const std::string corrected = o.demoDir + "/corrected.mp4";
    const std::string picture = o.demoDir + "/before-after.png";
    std::fprintf(stderr, "velmor: making a washed-out sample clip, %s\n", sample.c_str());
    if (int rc = runFfmpeg({"ffmpeg",    "-hide_banner",
                            "-nostdin",  "-v",
                            "error",     "-y",
                            "-f",        "lavfi",
                            "-i",        "testsrc2=size=640x360:rate=25:duration=4",
                            "-f",        "lavfi",
                            "-i",        "sine=frequency=440:duration=4",
                            "-vf",       "eq=contrast=0.45:brightness=0.12:saturation=0.6",
                            "-c:v",      "libx264",
                            "-pix_fmt",  "yuv420p",
                            "-c:a",      "aac",
                            "-shortest", sample},
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
    if (int rc = runFfmpeg({"ffmpeg",
                            "-hide_banner",
                            "-nostdin",
                            "-v",
                            "error",
                            "-y",
                            "-ss",
                            "2",
                            "-i",
                            sample,
                            "-ss",
                            "2",
                            "-i",
                            corrected,
                            "-filter_complex",
                            "[0:v][1:v]hstack",
                            "-frames:v",
                            "1",
                            "-update",
                            "1",
                            temporary},
                           "drawing the before/after picture")) {
        std::remove(temporary.c_str());
        return rc;
    }
    if (std::rename(temporary.c_str(), picture.c_str()) != 0)
        return failure("cannot write " + picture + ": " + std::strerror(errno));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<Options> options = parseOptions(args, error);
    if (!options) return failure(error, 2);
    // For tests and benchmarks: every file through one route.
    if (const char* route = std::getenv("VELMOR_ROUTE")) {
        if (std::strcmp(route, "deep") == 0) options->route = Route::Deep;
        if (std::strcmp(route, "8bit") == 0) options->route = Route::EightBit;
    }
    const Options& o = *options;
    if (o.noArguments) {
        std::fputs(usageText().c_str(), stderr);
        return 2;
    }
    for (const auto& w : o.warnings) warn(w);
    try {
        switch (o.mode) {
        case Mode::Help:
            std::fputs(usageText().c_str(), stdout);
            return 0;
        case Mode::Version:
            std::printf("%s\n", kVersion);
            return 0;
        case Mode::PrintConfig: {
            std::unique_ptr<FilterHost> host = makeHost(o);
            std::printf("%s\n%s\n", host->scriptForm().c_str(), host->summary().c_str());
            return 0;
        }
        case Mode::Raw:
            return rawFrames(o);
        case Mode::Demo:
            return demo(o);
        case Mode::Convert:
            return convert(o);
        }
    } catch (const std::exception& e) {
        return failure(e.what());
    }
    return 0;
}
