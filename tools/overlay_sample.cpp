// overlay_sample: draws a washed-out sample picture, corrects it with the
// statistics overlay on, and writes the result as a PNG (for the README).
//
// Usage: overlay_sample OUT.png
#include <cmath>
#include <cstdio>
#include <vector>

#include "frame_run.h"
#include "png_write.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: %s OUT.png\n", argc > 0 ? argv[0] : "overlay_sample");
        return 2;
    }
    const int w = 512, h = 160;
    std::vector<FramePixel> pixels(static_cast<std::size_t>(w) * h);
    // A low-contrast scene, stored bottom-up as the host stores it: memory
    // row 0 is the bottom of the picture.
    for (int m = 0; m < h; ++m) {
        const int y = h - 1 - m;
        for (int x = 0; x < w; ++x) {
            const double sky = 0.5 + 0.5 * std::sin(x * 0.02 + y * 0.01);
            const double hill = y > 100 + 20 * std::sin(x * 0.015) ? 1.0 : 0.0;
            FramePixel& p = pixels[static_cast<std::size_t>(m) * w + x];
            p.red = static_cast<std::uint8_t>(90 + 50 * sky * (1 - hill) + 30 * hill);
            p.green = static_cast<std::uint8_t>(95 + 40 * sky * (1 - hill) + 60 * hill);
            p.blue = static_cast<std::uint8_t>(110 + 60 * sky * (1 - hill) + 10 * hill);
            p.alpha = 0;
        }
    }
    FilterSettings settings{};
    setDefaultSettings(settings);
    settings.showStats = 1;
    settings.bypassTitles = 1;
    const FrameView frame = {pixels.data(), w, h, static_cast<std::ptrdiff_t>(w) * 4};
    runFrame(settings, frame, frame);

    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const FramePixel& p = pixels[static_cast<std::size_t>(h - 1 - y) * w + x];
            rgb.insert(rgb.end(), {p.red, p.green, p.blue});
        }
    const std::string err = writePng(argv[1], rgb, w, h);
    if (!err.empty()) {
        std::fprintf(stderr, "overlay_sample: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
