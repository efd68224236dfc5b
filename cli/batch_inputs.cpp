// Expanding a batch's inputs. A file given names itself (its output takes
// its name); a folder given with --recursive names the files below it that
// velmor takes, each keeping its path below the folder, and the files it
// leaves out, each with its reason. The output folder is left out where it
// lies inside an input folder, so that a second run does not take the
// first run's outputs for inputs. Every real folder is walked once, and
// links to folders are not followed, so that every walk ends.
#include "batch_inputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "file_kinds.h"

namespace {

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

struct Walk {
    dev_t skipDev = 0;
    ino_t skipIno = 0; // the output folder
    std::set<std::pair<dev_t, ino_t>> walked; // each real folder once, however it is reached
    std::string error;
};

// Why a folder's entry is no input of the batch, or "" when it is one.
// Links to folders are not followed, as find and rsync do not follow
// them: a link can lead out of the tree or around it for ever.
std::string leftOut(const std::string& path, const std::string& name, struct stat& st) {
    if (lstat(path.c_str(), &st) != 0) return std::string("cannot read it: ") + std::strerror(errno);
    const bool link = S_ISLNK(st.st_mode);
    if (link && stat(path.c_str(), &st) != 0) return "a link to nothing";
    if (S_ISDIR(st.st_mode)) return link ? "a link to a folder; not followed" : "";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (!takenFromFolder(name)) return "not a kind of picture or video velmor reads";
    return "";
}

// Adds the files below `dir` (their paths below the argument as `below`).
void walkFolder(const std::string& dir, const std::string& below, Walk& w,
                std::vector<BatchItem>& items) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        w.error = "cannot read the folder " + dir + ": " + std::strerror(errno);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name, rel = below.empty() ? name : below + "/" + name;
        struct stat st {};
        const std::string why = leftOut(path, name, st);
        if (!why.empty()) {
            items.push_back({path, rel, "", why});
        } else if (!S_ISDIR(st.st_mode)) {
            items.push_back({path, rel, "", ""});
        } else if (st.st_dev == w.skipDev && st.st_ino == w.skipIno) {
            // the batch's own output folder
        } else if (!w.walked.insert({st.st_dev, st.st_ino}).second) {
            items.push_back({path, rel, "", "a folder already walked (mounted twice)"});
        } else {
            walkFolder(path, rel, w, items);
        }
        if (!w.error.empty()) return;
    }
}

} // namespace

std::string outputRelative(const std::string& relative, const std::string& format) {
    const std::size_t slash = relative.find_last_of('/');
    const std::size_t dot = relative.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string ext = hasExt ? extensionOf(relative) : "";
    // A kind velmor only reads is written as its nearest kind it writes.
    const std::string as = !format.empty() ? format : writtenAs(ext);
    if (as == ext) return relative;
    return (hasExt ? relative.substr(0, dot) : relative) + "." + as;
}

bool takenFromFolder(const std::string& name) {
    return !name.empty() && name[0] != '.' && isReadExtension(extensionOf(name));
}

bool expandInputs(const BatchOptions& b, std::vector<BatchItem>& items, std::string& error) {
    items.clear();
    Walk walk;
    struct stat out {};
    if (stat(b.outputDir.c_str(), &out) == 0) walk.skipDev = out.st_dev, walk.skipIno = out.st_ino;
    for (const std::string& input : b.inputs) {
        if (input == "-") {
            error = "standard input cannot be one of many inputs; convert it alone";
            return false;
        }
        struct stat st {};
        const bool isDir = stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (isDir && !b.recursive) {
            error = input + " is a folder; give --recursive to convert the files below it";
            return false;
        }
        if (isDir) {
            std::string root = input;
            while (root.size() > 1 && root.back() == '/') root.pop_back();
            if (walk.walked.insert({st.st_dev, st.st_ino}).second) walkFolder(root, "", walk, items);
            if (!walk.error.empty()) return error = walk.error, false;
        } else {
            items.push_back({input, baseName(input), "", ""}); // file mode says what is wrong with it
        }
    }
    std::map<std::string, std::string> taken; // output -> input
    for (BatchItem& item : items) {
        if (!item.skipped.empty()) continue;
        item.output = b.outputDir + (b.outputDir == "/" ? "" : "/") +
                      outputRelative(item.relative, b.format);
        const auto [at, fresh] = taken.emplace(item.output, item.input);
        if (!fresh) {
            error = "both " + at->second + " and " + item.input + " would be written to " +
                    item.output + "; convert them in separate batches or folders";
            return false;
        }
    }
    return true;
}
