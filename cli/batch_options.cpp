// Reading a batch's command line: -o DIR/ (a folder that exists, or a name
// ending in '/'), the inputs, and the options of the batch itself. Every
// other option, with its value, is kept in order for each file's velmor,
// which reads and checks it as for one file.
#include "batch_options.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <set>

#include "options.h"

namespace {

bool parseCount(const std::string& text, int& n) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, n);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

bool namesFolder(const std::string& path) {
    struct stat st {};
    return (!path.empty() && path.back() == '/') ||
           (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// One batch option and its value; "" or the mistake.
std::string applyBatchOption(const std::string& arg, const std::string& value, BatchOptions& b) {
    if (arg == "--jobs") {
        if (!parseCount(value, b.jobs) || b.jobs < 1 || b.jobs > 256)
            return "--jobs: '" + value + "' is not a number of jobs from 1 to 256";
    } else if (arg == "--format") {
        b.format = !value.empty() && value[0] == '.' ? value.substr(1) : value;
        if (b.format.empty() || b.format.find('/') != std::string::npos)
            return "--format: '" + value + "' is not an extension such as mkv or png";
    } else if (arg == "--report") {
        b.report = value;
    } else if (arg == "--shard") {
        if (!parseShard(value, b.shardIndex, b.shardCount))
            return "--shard: '" + value + "' is not K/N with 1 <= K <= N (worker K of N)";
    } else {
        (arg == "--recursive" ? b.recursive : arg == "--fail-fast" ? b.failFast : b.resume) = true;
    }
    return "";
}

const std::set<std::string> kWithValue = {"--jobs", "--format", "--report", "--shard"};
const std::set<std::string> kSwitches = {"--recursive", "--fail-fast", "--resume"};

// What walking the arguments found besides the batch's own options.
struct BatchScan {
    std::string output;
    bool outputGiven = false, batchOption = false, helpOrVersion = false;
    std::string firstBatchOption;
};

// Sorts one argument (and its value) into `b` and `scan`; "" or the mistake.
std::string scanArgument(const std::vector<std::string>& args, std::size_t& i, bool& ended,
                         BatchOptions& b, BatchScan& scan) {
    std::string arg = args[i], value;
    if (ended || arg == "-" || arg.empty() || arg[0] != '-') {
        b.inputs.push_back(arg);
        return "";
    }
    if (arg == "--") return ended = true, "";
    const bool inlineValue = arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos;
    if (inlineValue) value = arg.substr(arg.find('=') + 1), arg.resize(arg.find('='));
    if (arg == "-j") arg = "--jobs";
    if (arg == "-o") arg = "--output";
    if (arg == "-h" || arg == "--help" || arg == "--version") scan.helpOrVersion = true;
    const bool batchOwn = kWithValue.count(arg) || kSwitches.count(arg);
    const bool needsValue = kWithValue.count(arg) || arg == "--output" ||
                            (!batchOwn && optionTakesValue(arg));
    if (needsValue && !inlineValue) {
        if (i + 1 >= args.size()) return arg + " needs a value";
        value = args[++i];
    }
    if (arg == "--output") {
        scan.output = value, scan.outputGiven = true;
        return "";
    }
    if (!batchOwn) {
        b.fileArgs.push_back(args[i - (needsValue && !inlineValue ? 1 : 0)]);
        if (needsValue && !inlineValue) b.fileArgs.push_back(value);
        return "";
    }
    if (!scan.batchOption) scan.firstBatchOption = arg;
    scan.batchOption = true;
    if (kSwitches.count(arg) && inlineValue) return arg + " takes no value";
    return applyBatchOption(arg, value, b);
}

} // namespace

bool parseShard(const std::string& text, int& index, int& count) {
    const std::size_t slash = text.find('/');
    return slash != std::string::npos && parseCount(text.substr(0, slash), index) &&
           parseCount(text.substr(slash + 1), count) && count >= 1 && index >= 1 &&
           index <= count;
}

int usableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? int(n) : 1;
}

bool parseBatchOptions(const std::vector<std::string>& args, BatchOptions& b, std::string& error) {
    b = BatchOptions{};
    error.clear();
    BatchScan scan;
    bool ended = false;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i)
        error = scanArgument(args, i, ended, b, scan);
    if (scan.helpOrVersion) return b = BatchOptions{}, error.clear(), true;
    if (!error.empty()) return false;
    b.batch = scan.batchOption || (scan.outputGiven && scan.output != "-" && namesFolder(scan.output));
    if (!b.batch) return true;
    if (!scan.outputGiven || !namesFolder(scan.output)) {
        error = scan.firstBatchOption +
                " is for many inputs into one folder: name the folder with -o DIR/";
        return false;
    }
    if (b.inputs.empty()) {
        error = "give the inputs (files, or folders with --recursive) before or after -o " +
                scan.output;
        return false;
    }
    b.outputDir = scan.output;
    while (b.outputDir.size() > 1 && b.outputDir.back() == '/') b.outputDir.pop_back();
    return true;
}

std::string batchUsageText() {
    return R"USAGE(Many inputs into one folder (each file as above; still pictures in groups, one
ffmpeg for many, each written as one file's conversion writes it):
  velmor [options] INPUT... -o DIR/   DIR exists or ends in '/' (made if missing); each
                     output keeps its input's name (and, with --recursive, its path
                     below the folder given); a kind velmor only reads (.mxf, .dv,
                     .exr, ...) is written as .mkv, or .png for a picture
  --recursive        an INPUT that is a folder stands for the files below it that
                     velmor reads by their extension, in any letter case (hidden ones
                     unseen); the others, and links to folders (not followed, as
                     find does not), are skipped and named in the summary
  --format EXT       the outputs' extension (container or picture format), e.g. mkv
  -j, --jobs N       jobs at once, a file or a group of pictures each (default: the
                     cores velmor may use)
  --fail-fast        stop at the first file that fails (the others are left undone)
  --resume           skip every output that exists: outputs appear only complete, so
                     an interrupted batch goes on where it stopped (-n does the same;
                     without -y, -n or --resume an existing output fails that file)
  --report FILE      one row per input: input, output, status (done, skipped, failed,
                     interrupted, not run), message, seconds, peak memory in KiB;
                     CSV if FILE ends in .csv, else JSON lines
  --shard K/N        convert only the share K of N (from 1): each input belongs to
                     exactly one share, by its path below the argument that named it,
                     so N workers with the same command split the batch (docs/batch.md)
Every input ends done, failed or skipped. The exit status is 0 when every input is
done or skipped, 1 when one failed (or the report could not be written), 128+signal
when stopped.
)USAGE";
}
