// The command-line host's --config parser and option parser on any text:
// whatever parses as a Config line has exactly five whole numbers that
// print back to a line that parses to the same five.
#include <string>
#include <vector>

#include "options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    ScriptNumbers v;
    if (parseConfigLine(line, v)) {
        std::string again = "Config(";
        for (int k = 0; k < kSettingCount; ++k)
            again += (k ? ", " : "") + std::to_string(v.value[k]);
        ScriptNumbers w;
        if (!parseConfigLine(again + ")", w)) __builtin_trap();
        for (int k = 0; k < kSettingCount; ++k)
            if (w.value[k] != v.value[k]) __builtin_trap();
    }
    std::vector<std::string> args; // the same bytes as arguments, split at NUL
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i)
        if (i == size || data[i] == 0) {
            args.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
            start = i + 1;
        }
    std::string error;
    (void)parseOptions(args, error);
    return 0;
}
