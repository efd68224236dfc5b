// velmor: the filter on the command line. It plays the video host for the
// filter (registration, one instance, settings through the script function
// "Config", frames run in place) and lets ffmpeg decode and encode.
//
//   velmor INPUT -o OUTPUT   ffmpeg -> raw BGRA frames -> filter -> ffmpeg
//   velmor --raw WxH         raw BGRA frames on stdin -> filter -> stdout
//   velmor --demo [DIR]      a washed-out sample clip, corrected, and a
//                            before/after picture
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "options.h"
#include "process.h"
#include "velmor_version.h"

namespace {

constexpr const char* kVersion = "velmor " VELMOR_VERSION;

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) {
    interrupted = 1;
}

int failure(const std::string& message, int code = 1) {
    std::fprintf(stderr, "velmor: %s\n", message.c_str());
    return code;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return lower(path.substr(dot + 1));
}

bool isImageExtension(const std::string& e) {
    return e == "png" || e == "jpg" || e == "jpeg" || e == "bmp" || e == "tif" || e == "tiff" ||
           e == "webp" || e == "ppm" || e == "tga";
}

// Progress on standard error when it is a terminal.
struct Progress {
    bool shown;
    long total;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now(),
                                          last = started;
    Progress(bool quiet, long totalFrames) : shown(!quiet && isatty(2)), total(totalFrames) {}
    void update(long done, bool final = false) {
        if (!shown) return;
        const auto now = std::chrono::steady_clock::now();
        if (!final && now - last < std::chrono::milliseconds(250)) return;
        last = now;
        const double seconds = std::chrono::duration<double>(now - started).count();
        const double fps = seconds > 0 ? done / seconds : 0;
        char line[160];
        if (total > 0) {
            const long left = fps > 0 ? static_cast<long>((total - done) / fps) : 0;
            std::snprintf(line, sizeof line,
                          "\rvelmor: frame %ld of %ld, %.1f fps, %ld:%02ld left ", done, total, fps,
                          left / 60, left % 60);
        } else {
            std::snprintf(line, sizeof line, "\rvelmor: frame %ld, %.1f fps ", done, fps);
        }
        std::fputs(line, stderr);
        if (final) std::fputs("\n", stderr);
    }
};

// Sets byte 3 of every pixel (the top byte of each little-endian word) to 0,
// two pixels at a time.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are read as little-endian words");
void clearAlpha(std::uint8_t* pixels, std::size_t bytes) {
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t words;
        std::memcpy(&words, pixels + i, 8);
        words &= 0x00FFFFFF00FFFFFFull;
        std::memcpy(pixels + i, &words, 8);
    }
    for (; i + 4 <= bytes; i += 4) pixels[i + 3] = 0;
}

// Reads one frame; with `noAlpha`, clears each piece's alpha bytes while it
// is still in the cache. Returns the bytes read (fewer at the end of input).
std::size_t readFrame(int fd, std::vector<std::uint8_t>& frame, bool noAlpha) {
    constexpr std::size_t kPiece = 1 << 20; // a multiple of 4
    std::size_t done = 0;
    while (done < frame.size()) {
        const std::size_t want = std::min(kPiece, frame.size() - done);
        const std::size_t got = readFully(fd, frame.data() + done, want);
        if (noAlpha) clearAlpha(frame.data() + done, got);
        done += got;
        if (got < want) break;
    }
    return done;
}

struct VideoInfo {
    std::int32_t width = 0, height = 0;
    std::string frameRate = "25";
    long frames = 0;
    bool alpha = false;
};

// What ffprobe says of the first video stream.
bool probe(const std::string& input, VideoInfo& info, std::string& error) {
    std::string out, last;
    const int status =
        runCapture({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "stream=width,height,r_frame_rate,nb_frames,pix_fmt:format="
                    "duration",
                    "-of", "default=noprint_wrappers=1", input},
                   out, last);
    if (status != 0) {
        error = input + " is not a video or image that ffmpeg reads" +
                (last.empty() ? "" : " (" + last + ")");
        return false;
    }
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    if (!parseWholeNumber(fields["width"], info.width) ||
        !parseWholeNumber(fields["height"], info.height) || info.width <= 0 || info.height <= 0) {
        error = input + " has no video or picture in it";
        return false;
    }
    const std::string rate = fields["r_frame_rate"];
    if (!rate.empty() && rate != "0/0") info.frameRate = rate;
    std::int32_t n = 0;
    if (parseWholeNumber(fields["nb_frames"], n)) info.frames = n;
    if (info.frames <= 0) {
        const double duration = std::atof(fields["duration"].c_str());
        const std::size_t slash = rate.find('/');
        const double fps = slash == std::string::npos
                               ? std::atof(rate.c_str())
                               : std::atof(rate.substr(0, slash).c_str()) /
                                     std::max(1.0, std::atof(rate.substr(slash + 1).c_str()));
        if (duration > 0 && fps > 0) info.frames = static_cast<long>(duration * fps + 0.5);
    }
    const std::string pf = fields["pix_fmt"];
    info.alpha = pf.find("rgba") != std::string::npos || pf.find("bgra") != std::string::npos ||
                 pf.find("argb") != std::string::npos || pf.find("abgr") != std::string::npos ||
                 pf.rfind("yuva", 0) == 0 || pf.rfind("gbrap", 0) == 0 || pf.rfind("ya", 0) == 0;
    return true;
}

std::vector<std::string> defaultEncoderArgs(const std::string& ext, const VideoInfo& info) {
    const bool odd = (info.width % 2) || (info.height % 2);
    if (ext == "mp4" || ext == "m4v" || ext == "mov" || ext == "mkv")
        return {"-c:v", "libx264", "-preset",  "medium",
                "-crf", "16",      "-pix_fmt", odd ? "yuv444p" : "yuv420p"};
    if (ext == "webm") return {"-c:v", "libvpx-vp9", "-crf", "30", "-b:v", "0"};
    if (ext == "avi" || ext == "nut") return {"-c:v", "ffv1"};
    return {};
}

std::unique_ptr<FilterHost> makeHost(const Options& o) {
    auto host = std::make_unique<FilterHost>();
    host->configure(o.config);
    host->setShowStats(o.stats);
    return host;
}

// The output's temporary name: beside it, hidden, with the same extension.
std::string temporaryNameFor(const std::string& output) {
    const std::size_t slash = output.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? output : output.substr(slash + 1);
    return dir + ".velmor-" + std::to_string(getpid()) + "-" + base;
}

int convert(const Options& o) {
    struct stat in {
    }, out{};
    if (stat(o.input.c_str(), &in) != 0)
        return failure("cannot read " + o.input + ": " + std::strerror(errno));
    if (!S_ISREG(in.st_mode) || access(o.input.c_str(), R_OK) != 0)
        return failure("cannot read " + o.input + ": " +
                       (S_ISDIR(in.st_mode) ? std::string("it is a folder")
                                            : std::string(std::strerror(EACCES))));
    if (stat(o.output.c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino)
        return failure("the output " + o.output + " is the input; choose another name");
    if (!programExists("ffmpeg") || !programExists("ffprobe"))
        return failure("ffmpeg and ffprobe are needed to read and write files; install ffmpeg "
                       "(apt-get install ffmpeg), or use --raw");
    VideoInfo info;
    std::string error;
    if (!probe(o.input, info, error)) return failure(error);

    const std::string ext = extensionOf(o.output);
    const bool image = isImageExtension(ext);
    const std::string temporary = temporaryNameFor(o.output);
    {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) return failure("cannot write " + o.output + ": " + std::strerror(errno));
        ::close(fd);
    }
    std::unique_ptr<FilterHost> host = makeHost(o);
    host->start(info.width, info.height);

    const std::string rawFormat = info.alpha ? "bgra" : "bgr0";
    std::vector<std::string> decode = {"ffmpeg",   "-hide_banner", "-nostdin", "-v",    "error",
                                       "-i",       o.input,        "-map",     "0:v:0", "-f",
                                       "rawvideo", "-pix_fmt",     "bgra",     "pipe:1"};
    std::vector<std::string> encode = {
        "ffmpeg",     "-hide_banner",
        "-nostdin",   "-v",
        "error",      "-y",
        "-f",         "rawvideo",
        "-pix_fmt",   rawFormat,
        "-s",         std::to_string(info.width) + "x" + std::to_string(info.height),
        "-framerate", info.frameRate,
        "-i",         "pipe:0"};
    if (image) {
        encode.insert(encode.end(), {"-frames:v", "1", "-update", "1"});
    } else {
        encode.insert(encode.end(), {"-i", o.input, "-map", "0:v", "-map", "1:a?", "-map", "1:s?",
                                     "-map_metadata", "1", "-c:a", "copy", "-c:s", "copy"});
    }
    const std::vector<std::string> codec =
        o.ffmpegArgsGiven ? o.ffmpegArgs : defaultEncoderArgs(ext, info);
    encode.insert(encode.end(), codec.begin(), codec.end());
    encode.push_back(temporary);

    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    ChildProcess decoder = startChild(decode, PipeEnd::ReadOutput, error);
    ChildProcess encoder =
        decoder.pid > 0 ? startChild(encode, PipeEnd::WriteInput, error) : ChildProcess{};
    std::string problem = decoder.pid > 0 && encoder.pid > 0 ? "" : error;

    const std::size_t frameBytes = static_cast<std::size_t>(info.width) * info.height * 4;
    std::vector<std::uint8_t> frame(frameBytes);
    Progress progress(o.quiet, image ? 1 : info.frames);
    long done = 0;
    bool encoderStopped = false;
    while (problem.empty() && !interrupted) {
        const std::size_t got = readFrame(decoder.pipe, frame, !info.alpha);
        if (got == 0) break;
        if (got < frameBytes) {
            problem = "the decoded stream of " + o.input + " ended inside frame " +
                      std::to_string(done + 1);
            break;
        }
        host->runFrame(frame.data());
        if (!writeFully(encoder.pipe, frame.data(), frameBytes)) {
            encoderStopped = true;
            problem = "ffmpeg stopped taking frames for " + o.output;
            break;
        }
        progress.update(++done);
        if (image) break;
    }
    progress.update(done, true);
    std::string decodeError, encodeError;
    if (image && decoder.pid > 0) kill(decoder.pid, SIGTERM); // the rest is not wanted
    const int decodeStatus = finishChild(decoder, decodeError);
    const int encodeStatus = finishChild(encoder, encodeError);
    if (problem.empty() && interrupted) problem = "interrupted";
    if (problem.empty() && !image && decodeStatus != 0)
        problem = "ffmpeg failed reading " + o.input + ": " + decodeError;
    if (problem.empty() && encodeStatus != 0)
        problem = "ffmpeg failed writing " + o.output + ": " + encodeError;
    if (problem.empty() && done == 0) problem = o.input + " gave no frames";
    if (encoderStopped && encodeStatus != 0)
        problem = "ffmpeg failed writing " + o.output + ": " + encodeError;
    if (problem.empty() && std::rename(temporary.c_str(), o.output.c_str()) != 0)
        problem = "cannot write " + o.output + ": " + std::strerror(errno);
    if (!problem.empty()) {
        std::remove(temporary.c_str());
        return failure(problem);
    }
    return 0;
}

int rawFrames(const Options& o) {
    if (o.rawWidth <= 0 || o.rawHeight <= 0)
        return failure("--raw: the size must be at least 1x1", 2);
    const std::uint64_t pixels = std::uint64_t(o.rawWidth) * std::uint64_t(o.rawHeight);
    if (pixels >= (std::uint64_t(1) << 31))
        return failure("--raw: frames of " + std::to_string(o.rawWidth) + "x" +
                           std::to_string(o.rawHeight) + " are too large (2^31 pixels or more)",
                       2);
    std::vector<std::uint8_t> frame;
    try {
        frame.resize(static_cast<std::size_t>(pixels) * 4);
    } catch (const std::exception&) {
        return failure("--raw: not enough memory for frames of " + std::to_string(o.rawWidth) +
                       "x" + std::to_string(o.rawHeight));
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<FilterHost> host = makeHost(o);
    host->start(o.rawWidth, o.rawHeight);
    Progress progress(o.quiet, 0);
    long done = 0;
    for (;;) {
        const std::size_t got = readFrame(0, frame, o.zeroAlpha);
        if (got == 0) break;
        if (got < frame.size())
            return failure("--raw: the input ended inside frame " + std::to_string(done + 1) +
                           " (" + std::to_string(got) + " of " + std::to_string(frame.size()) +
                           " bytes); the " + std::to_string(done) +
                           " frames before it were written");
        host->runFrame(frame.data());
        if (!writeFully(1, frame.data(), frame.size()))
            return failure(std::string("cannot write frame to standard output: ") +
                           std::strerror(errno));
        progress.update(++done);
    }
    progress.update(done, true);
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
    std::fprintf(stderr, "velmor: correcting it into %s\n", corrected.c_str());
    if (int rc = convert(c)) return rc;
    std::fprintf(stderr, "velmor: before and after, side by side: %s\n", picture.c_str());
    const std::string temporary = temporaryNameFor(picture);
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
    const std::optional<Options> options = parseOptions(args, error);
    if (!options) return failure(error, 2);
    const Options& o = *options;
    try {
        switch (o.mode) {
        case Mode::Help:
            std::fputs(kUsage, stdout);
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
