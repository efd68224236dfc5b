// The gamma box's parser on any text, and its formatter on any double:
// the text always ends within 31 characters, and a formatted value parses
// back to within half a hundredth of it.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "gamma_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size); // NUL inside ends it
    const double value = parseGammaText(text.c_str());
    if (std::isnan(value)) __builtin_trap();

    FuzzInput in{data, size};
    const double x = in.take<double>();
    char shown[32];
    formatGammaText(x, shown);
    if (std::strlen(shown) > 31) __builtin_trap();
    if (std::isfinite(x) && std::fabs(x) < 1e6) {
        const double back = parseGammaText(shown);
        if (!(std::fabs(back - x) <= 0.005000001 + std::fabs(x) * 1e-15)) __builtin_trap();
    }
    return 0;
}
