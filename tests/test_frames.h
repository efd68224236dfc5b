// Frame buffers for the tests: pixels in a vector with optional pitch padding.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "frame.h"

struct TestFrame {
    std::int32_t width;
    std::int32_t height;
    std::ptrdiff_t pitch; // bytes, >= width * 4
    std::vector<std::uint8_t> bytes;

    TestFrame(std::int32_t w, std::int32_t h, std::ptrdiff_t padding = 0)
        : width(w), height(h), pitch(w * 4 + padding),
          bytes(static_cast<std::size_t>(pitch) * h + 1, 0) {}

    std::uint8_t* pixel(int x, int row) { return &bytes[row * pitch + x * 4]; }
    void set(int x, int row, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
        std::uint8_t* p = pixel(x, row);
        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }
    void fill(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) set(x, y, b, g, r, a);
    }
    void randomize(std::mt19937& rng) {
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    }
    FrameView view() { return {reinterpret_cast<FramePixel*>(bytes.data()), width, height, pitch}; }
};

// A width x 1 frame whose pixel x holds the value x in all four bytes: the
// mapping of it shows each channel table whole.
inline TestFrame rampFrame() {
    TestFrame f(256, 1);
    for (int x = 0; x < 256; ++x) {
        auto v = static_cast<std::uint8_t>(x);
        f.set(x, 0, v, v, v, v);
    }
    return f;
}
