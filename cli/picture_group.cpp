// Pictures in groups: each file planned as file mode plans it, the plans
// that fit cut at their input and put side by side in one ffmpeg, as many
// at once as keep its memory small (ffmpeg keeps every output's frames
// until its run ends, about 23 bytes a pixel).
#include "picture_group.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "convert.h"
#include "file_kinds.h"
#include "media_probe.h"
#include "names.h"
#include "output_file.h"
#include "run_ffmpeg.h"
#include "signals.h"

namespace {

constexpr long kRunPixels = 16000000; // one ffmpeg's pictures: about 370 MB held
const char kLinePrefix[] = "velmor-group ";

// The options before the input that every picture's command shares: only
// global ones, which the group's command gives once.
bool onlyGlobal(const std::vector<std::string>& shared) {
    for (std::size_t i = 1; i < shared.size(); ++i) {
        const std::string& a = shared[i];
        if (a == "-v" || a == "-progress") {
            ++i;
        } else if (!has({"-hide_banner", "-nostdin", "-nostats", "-y"}, a)) {
            return false;
        }
    }
    return !shared.empty();
}

// Output options that name the input by number only in "-map 0:...".
bool namesInputOnlyInMaps(const std::vector<std::string>& output) {
    for (std::size_t i = 0; i < output.size(); ++i) {
        const std::string& a = output[i];
        if (has({"-i", "-map_metadata", "-map_chapters", "-attach", "-filter_complex", "-lavfi",
                 "-filter_complex_script"},
                a))
            return false;
        if (a == "-map" && (i + 1 >= output.size() || output[++i].rfind("0:", 0) != 0)) return false;
    }
    return !output.empty();
}

struct Member {
    std::size_t k = 0;
    Options o;
    OutputTarget target;
    CutJob cut;
    long pixels = 0;
};

// Probes and plans file `k`, claiming its temporary name; false when it
// goes alone.
bool plan(const Options& file, const GroupFile& f, std::size_t k, Member& m) {
    m.k = k;
    m.o = file;
    m.o.input = f.input;
    m.o.output = f.output;
    // Only what file mode would write without a word: it says the rest.
    OutputTarget& t = m.target;
    int code = 0;
    if (!pathProblem(m.o, f.input, false, t, code).empty() ||
        (t.exists && m.o.overwrite != Overwrite::Always))
        return false;
    const std::string inputName = "file:" + f.input;
    MediaInfo media;
    std::string last;
    if (probeMedia(inputName, false, media, last) != 0 || media.videoIndex < 0 ||
        media.width <= 0 || media.height <= 0 || !refusalFor(m.o, media, f.input).empty())
        return false;
    t.temporary = temporaryNameFor(f.output, std::to_string(k));
    const Job job = buildJob(m.o, media, inputName, "file:" + t.temporary, t.ext);
    if (!cutGroupable(job, inputArgs(media, inputName, true), m.cut)) return false;
    if (!claimName(t.temporary)) return false;
    m.pixels = long(media.width) * media.height;
    return true;
}

// One ffmpeg for `run`; each finished file renamed into place, the others
// left to go alone. A run that says anything at all is not trusted for
// any of its files: alone, each says what it has to. A picture is not read
// back here as file mode reads it (unreadableOutput): decoding it costs 3
// to 6 ms for a 640x480 photograph, a third or more of its whole share of
// the group. ffmpeg tells of each picture it could not write in full
// (av_interleaved_write_frame(), and exit status 1), so its silence, its
// status 0 and a file that is not empty stand for the check.
void runMembers(const std::vector<Member*>& run, const std::string& pluginDir) {
    std::vector<CutJob> cuts;
    for (const Member* m : run) cuts.push_back(m->cut);
    Job job;
    job.args = groupCommand(cuts);
    Options quiet = run.front()->o;
    quiet.quiet = true;
    std::string error;
    const RunResult r = runJob(quiet, job, pluginDir, error);
    const bool clean = error.empty() && !r.interrupted && !caughtSignal && WIFEXITED(r.status) &&
                       WEXITSTATUS(r.status) == 0 &&
                       r.errors.find_first_not_of(" \t\r\n") == std::string::npos;
    for (Member* m : run) {
        struct stat st {};
        const bool done = clean && stat(m->target.temporary.c_str(), &st) == 0 &&
                          st.st_size > 0 && placeOutput(m->o.output, m->target).empty();
        if (!done) std::remove(m->target.temporary.c_str());
        if (!caughtSignal) std::fputs(groupLine(m->k, done).c_str(), stderr);
    }
}

} // namespace

bool cutGroupable(const Job& job, const std::vector<std::string>& inputArgs, CutJob& cut) {
    if (!job.decoderArgs.empty() || !job.covers.empty() || !job.warnings.empty()) return false;
    const auto at = std::search(job.args.begin(), job.args.end(), inputArgs.begin(), inputArgs.end());
    if (at == job.args.end() || inputArgs.empty()) return false;
    cut.shared.assign(job.args.begin(), at);
    cut.input = inputArgs;
    cut.output.assign(at + std::ptrdiff_t(inputArgs.size()), job.args.end());
    return onlyGlobal(cut.shared) && namesInputOnlyInMaps(cut.output);
}

// A group's pictures are decoded and encoded on one thread each: the jobs
// keep the cores busy, and the threads every picture's decoder and encoder
// would start cost more than they give (a third of the group's time for
// 640x480 JPEGs). No byte of a still picture depends on its codec's
// threads; the tests compare every kind with file mode's output.
std::vector<std::string> groupCommand(const std::vector<CutJob>& jobs) {
    std::vector<std::string> args = jobs.front().shared;
    for (const CutJob& j : jobs) {
        args.insert(args.end(), {"-threads", "1"});
        args.insert(args.end(), j.input.begin(), j.input.end());
    }
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::vector<std::string>& out = jobs[k].output;
        const bool threadsGiven = std::find(out.begin(), out.end(), "-threads") != out.end();
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i + 1 == out.size() && !threadsGiven) args.insert(args.end(), {"-threads", "1"});
            args.push_back(out[i]);
            if (out[i] == "-map") args.push_back(std::to_string(k) + out[++i].substr(1));
        }
    }
    return args;
}

bool mayJoinGroup(const Options& file, const std::string& input, const std::string& output) {
    return file.start.empty() && file.duration.empty() && isImageExtension(extensionOf(input)) &&
           isImageExtension(extensionOf(output)) && !isPictureSequence(input) &&
           !isPictureSequence(output);
}

std::string groupLine(std::size_t k, bool done) {
    return kLinePrefix + std::to_string(k) + (done ? " done\n" : " alone\n");
}

bool readGroupLine(const std::string& line, std::size_t& k, bool& done) {
    if (line.rfind(kLinePrefix, 0) != 0) return false;
    char* end = nullptr;
    const char* number = line.c_str() + sizeof kLinePrefix - 1;
    k = std::strtoul(number, &end, 10);
    if (end == number) return false;
    done = std::string(end) == " done";
    return done || std::string(end) == " alone";
}

int runPictureGroup(const Options& file, const std::vector<GroupFile>& files) {
    std::string looked;
    const std::string pluginDir = findPluginDirectory(looked);
    std::vector<Member> members(files.size());
    std::vector<Member*> run;
    long pixels = 0;
    for (std::size_t k = 0; k < files.size() && !caughtSignal; ++k) {
        if (pluginDir.empty() || !plan(file, files[k], k, members[k])) {
            std::fputs(groupLine(k, false).c_str(), stderr);
            continue;
        }
        if (!run.empty() && pixels + members[k].pixels > kRunPixels) {
            runMembers(run, pluginDir);
            run.clear(), pixels = 0;
        }
        run.push_back(&members[k]);
        pixels += members[k].pixels;
    }
    if (!run.empty() && !caughtSignal) runMembers(run, pluginDir);
    for (const Member* m : run) // an interrupted run's files
        if (caughtSignal) std::remove(m->target.temporary.c_str());
    return caughtSignal ? 128 + caughtSignal : 0;
}
