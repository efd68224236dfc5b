// The benchmarks' frames: BGRA pictures of four kinds of content.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

const char* const kBenchContents[] = {"noise", "ramp", "title card", "natural"};
constexpr int kBenchContentCount = 4;

// A top-down frame of content 0..3 (as kBenchContents names them), its
// fourth byte `alpha`.
inline std::vector<std::uint8_t> benchFrame(int width, int height, int content,
                                            std::uint8_t alpha) {
    std::vector<std::uint8_t> f(std::size_t(width) * height * 4);
    std::mt19937 rng(1);
    auto clampByte = [](double v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &f[(std::size_t(y) * width + x) * 4];
            std::uint8_t v[3];
            switch (content) {
            case 0: // noise in every colour byte
                for (auto& c : v) c = std::uint8_t(rng());
                break;
            case 1: // a washed-out ramp with a little grain
                for (int c = 0; c < 3; ++c)
                    v[c] = std::uint8_t(90 + (x * 60) / width + c * 4 + rng() % 3);
                break;
            case 2: { // a flat card with lines of white text
                const bool ink = (y / 24) % 3 == 1 && (x / 8) % 5 != 4 && rng() % 3 == 0;
                v[0] = v[1] = v[2] = ink ? 235 : 16;
                break;
            }
            default: // soft shading in each colour with grain, as in a photograph
                for (int c = 0; c < 3; ++c)
                    v[c] = clampByte(110 +
                                     50 * std::sin(x / (230.0 + 40 * c) + c) * std::cos(y / 170.0) +
                                     25 * std::sin((x + 2 * y) / 90.0) + int(rng() % 9) - 4);
            }
            p[0] = v[0], p[1] = v[1], p[2] = v[2], p[3] = alpha;
        }
    return f;
}
