// Many inputs into one folder: the options only a batch has, taken out of
// the command line before the rest is read as one file's options, which
// every file of the batch gets as they were given.
#pragma once

#include <string>
#include <vector>

struct BatchOptions {
    bool batch = false;               // -o names a folder, or a batch option was given
    std::vector<std::string> inputs;  // files and folders, as given
    std::string outputDir;            // as given, without trailing slashes ("/" stays)
    int jobs = 0;                     // -j N; 0: the default (the cores velmor may use)
    bool recursive = false, failFast = false, resume = false;
    std::string format;               // --format EXT: the outputs' extension, no dot
    std::string report;               // --report FILE: .csv, or JSON lines
    int shardIndex = 0, shardCount = 0; // --shard K/N (K from 1); count 0: every input
    std::vector<std::string> fileArgs;  // the other options, for each file's velmor
};

// Takes the batch's options and inputs out of `args`. A command line that
// is no batch leaves `b.batch` false (and `error` empty): it is read as
// before. false with `error` set on a mistake.
bool parseBatchOptions(const std::vector<std::string>& args, BatchOptions& b, std::string& error);

// "K/N" with 1 <= K <= N.
bool parseShard(const std::string& text, int& index, int& count);

// The cores this process may run on (its CPU affinity), at least 1.
int usableCores();

// The batch's part of --help.
std::string batchUsageText();
