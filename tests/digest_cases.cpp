// Runs a fixed set of frames through the plug-in's procedures and prints one
// line per frame: its size and settings, a hash of the frame's bytes after
// the run (pitch padding included), and the summary and script-form texts.
// The Linux build and the Windows plug-in under Wine must print the same
// bytes; a test compares the two outputs. Each frame must also equal the
// reference frame run; the program fails on the first that does not.
//
// Everything here is deterministic and the same on both builds: the cases
// come from a splitmix64 generator, not the library's distributions, and
// the run starts from the module's load state in a fresh process.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host_harness.h"
#include "reference_frame.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 56); }
};

std::uint64_t fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 0xCBF29CE484222325u;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001B3u;
    }
    return h;
}

std::string hex64(std::uint64_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = digits[v & 15];
    return s;
}

enum Content { kNoise, kLowContrast, kOneColour, kTitleCard, kRamp, kContentCount };
const char* const kContentNames[] = {"noise", "low", "flat", "title", "ramp"};

const std::int32_t kGains[] = {0, 50, 100, 150, -40};
const std::int32_t kThresholds[] = {0, 10, 255};
const double kGammas[] = {1.0, 0.5, 2.0, 0.2, 5.0, 1.15};
const char* const kGammaNames[] = {"1.0", "0.5", "2.0", "0.2", "5.0", "1.15"};
const std::int32_t kSCurves[] = {0, 1, 7};
const std::int32_t kBypass[] = {0, 1};
constexpr int kCombinations = 5 * 3 * 6 * 3 * 2;

struct Case {
    std::int32_t width, height, padding; // padding in bytes after each row
    Content content;
    std::uint8_t showStats;
    int gain, threshold, gamma, sCurve, bypass; // indexes into the tables
};

// The pixels of a case, bottom row first; padding holds noise.
std::vector<std::uint8_t> makeFrame(SplitMix64& rng, const Case& c) {
    const std::size_t pitch = static_cast<std::size_t>(c.width) * 4 + c.padding;
    std::vector<std::uint8_t> bytes(pitch * static_cast<std::size_t>(c.height));
    for (auto& b : bytes) b = rng.byte();
    std::uint8_t base[4], spread[4];
    for (int k = 0; k < 4; ++k) {
        spread[k] = static_cast<std::uint8_t>(2 + rng.below(47));
        base[k] = static_cast<std::uint8_t>(rng.below(256u - spread[k]));
    }
    const std::uint32_t inkShare = 2 + rng.below(20); // percent of title pixels that are ink
    for (std::int32_t row = 0; row < c.height; ++row) {
        std::uint8_t* p = &bytes[pitch * static_cast<std::size_t>(row)];
        for (std::int32_t x = 0; x < c.width; ++x) {
            for (int k = 0; k < 4; ++k, ++p) {
                switch (c.content) {
                case kNoise: break; // already random
                case kLowContrast:
                    *p = static_cast<std::uint8_t>(base[k] + rng.below(spread[k]));
                    break;
                case kOneColour: *p = base[k]; break;
                case kTitleCard: // a flat card with scattered bright ink
                    *p = rng.below(100) < inkShare ? static_cast<std::uint8_t>(200 + rng.below(56))
                                                  : base[k];
                    break;
                case kRamp: {
                    const std::uint32_t v =
                        c.width > 1 ? static_cast<std::uint32_t>(x) * 255u / (c.width - 1) : 128u;
                    *p = static_cast<std::uint8_t>((v * spread[k]) / 48 + base[k] / 4 +
                                                   rng.below(3));
                    break;
                }
                case kContentCount: break;
                }
            }
        }
    }
    return bytes;
}

std::vector<Case> makeCases(SplitMix64& rng) {
    std::vector<Case> cases;
    // Every combination of the settings, each on its own frame.
    for (int i = 0; i < kCombinations; ++i) {
        Case c{};
        int rest = i;
        c.gain = rest % 5, rest /= 5;
        c.threshold = rest % 3, rest /= 3;
        c.gamma = rest % 6, rest /= 6;
        c.sCurve = rest % 3, rest /= 3;
        c.bypass = rest % 2;
        c.content = static_cast<Content>(rng.below(kContentCount));
        c.padding = static_cast<std::int32_t>(4 * rng.below(4));
        if (i % 6 == 0) { // room for the whole overlay
            c.showStats = 1;
            c.width = static_cast<std::int32_t>(470 + rng.below(64));
            c.height = static_cast<std::int32_t>(80 + rng.below(48));
        } else {
            c.showStats = i % 6 == 3; // clipped or partly drawn overlay
            c.width = static_cast<std::int32_t>(1 + rng.below(300));
            c.height = static_cast<std::int32_t>(1 + rng.below(120));
        }
        cases.push_back(c);
    }
    // The smallest and thinnest frames, with settings drawn from the tables.
    const std::int32_t shapes[][2] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {2, 1},   {1, 2},
                                      {3, 3}, {1, 300}, {300, 1}, {470, 80}, {469, 79}, {5, 200}};
    for (const auto& shape : shapes) {
        for (int content = 0; content < kContentCount; ++content) {
            Case c{};
            c.width = shape[0];
            c.height = shape[1];
            c.padding = static_cast<std::int32_t>(4 * rng.below(3));
            c.content = static_cast<Content>(content);
            c.showStats = static_cast<std::uint8_t>(rng.below(2));
            c.gain = static_cast<int>(rng.below(5));
            c.threshold = static_cast<int>(rng.below(3));
            c.gamma = static_cast<int>(rng.below(6));
            c.sCurve = static_cast<int>(rng.below(3));
            c.bypass = static_cast<int>(rng.below(2));
            cases.push_back(c);
        }
    }
    return cases;
}

} // namespace

int main() {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY); // the same line ends as the Linux build
#endif
    PluginLibrary& library = pluginLibrary();
    if (library.init2 == nullptr) {
        std::fprintf(stderr, "digest_cases: %s\n", library.error.c_str());
        return 1;
    }
    PluginHost host(library);
    int version = 0, compat = 0;
    if (host.load(&version, &compat) != 0) {
        std::fprintf(stderr, "digest_cases: the plug-in did not register\n");
        return 1;
    }

    SplitMix64 rng{0x56454C4D4F52u};
    const std::vector<Case> cases = makeCases(rng);
    int changed = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        PluginInstance inst(host);
        if (inst.init() != 0) {
            std::fprintf(stderr, "digest_cases: init failed\n");
            return 1;
        }
        FilterSettings& s = inst.settings();
        s.showStats = c.showStats;
        s.gainPercent = kGains[c.gain];
        s.threshold = kThresholds[c.threshold];
        s.gamma = kGammas[c.gamma];
        s.sCurve = kSCurves[c.sCurve];
        s.bypassTitles = kBypass[c.bypass];

        std::vector<std::uint8_t> frame = makeFrame(rng, c);
        const std::vector<std::uint8_t> original = frame;
        const std::uint64_t before = fnv1a64(frame);
        inst.setFrame(frame.data(), c.width, c.height, c.width * 4 + c.padding);
        const int result = inst.run();
        const std::uint64_t after = fnv1a64(frame);
        if (!matchesReference(s, original, 0, c.width, c.height, c.width * 4 + c.padding,
                              frame.data())) {
            std::fprintf(stderr, "digest_cases: case %u differs from the reference frame run\n",
                         static_cast<unsigned>(i));
            return 1;
        }
        changed += after != before;
        std::printf("%u %dx%d+%d %s stats %d gain %d t %d gamma %s s %d b %d run %d frame %s "
                    "summary \"%s\" script \"%s\"\n",
                    static_cast<unsigned>(i), c.width, c.height, c.padding, kContentNames[c.content], c.showStats,
                    kGains[c.gain], kThresholds[c.threshold], kGammaNames[c.gamma],
                    kSCurves[c.sCurve], kBypass[c.bypass], result, hex64(after).c_str(),
                    inst.summary().c_str(), inst.scriptForm().c_str());
    }
    host.unload();
    std::printf("cases %u changed %d\n", static_cast<unsigned>(cases.size()), changed);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
