// What the frei0r plug-in must give for a frame, computed the long way from
// the core: the picture columns copied bottom-up into a packed frame of
// their own with the fourth byte 0 (as the video host's frames are), run
// with a positive pitch, and copied back top-down with each input pixel's
// fourth byte; columns beyond the picture width come out as they came in.
// The overlay prints each frame's own peak shares, so every frame depends
// on itself alone.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_run.h"
#include "settings.h"
#include "smoothing.h"

inline FilterSettings referenceSettings(std::int32_t gain, std::int32_t threshold, double gamma,
                                        std::int32_t sCurve, std::int32_t bypassTitles,
                                        bool stats) {
    FilterSettings s{};
    s.gainPercent = gain;
    s.threshold = threshold;
    s.gamma = gamma;
    s.sCurve = sCurve;
    s.bypassTitles = bypassTitles;
    s.showStats = stats ? 1 : 0;
    return s;
}

// `frames` holds whole top-down frames of width x height BGRA pixels, in
// order: with a smoothing window they are one run of frames that follow
// each other.
inline std::vector<std::uint8_t> referenceFrames(const FilterSettings& s,
                                                 const std::vector<std::uint8_t>& frames,
                                                 int width, int height, int pictureWidth,
                                                 int smoothingWindow = 0) {
    Smoothing smoothing;
    setSmoothingWindow(smoothing, smoothingWindow);
    const std::size_t frameBytes = std::size_t(width) * height * 4;
    std::vector<std::uint8_t> out = frames;
    std::vector<std::uint8_t> host(std::size_t(pictureWidth) * height * 4);
    for (std::size_t f = 0; f + frameBytes <= frames.size(); f += frameBytes) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < pictureWidth; ++x) {
                const std::uint8_t* p = &frames[f + (std::size_t(y) * width + x) * 4];
                std::uint8_t* h = &host[(std::size_t(height - 1 - y) * pictureWidth + x) * 4];
                h[0] = p[0], h[1] = p[1], h[2] = p[2], h[3] = 0;
            }
        const FrameView v = {reinterpret_cast<FramePixel*>(host.data()), pictureWidth, height,
                             std::ptrdiff_t(pictureWidth) * 4};
        if (pictureWidth > 0)
            runFrame(s, v, v, OverlayPeaks::thisFrame, FourthByte::channel,
                     smoothingWindow > 0 ? &smoothing : nullptr);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < pictureWidth; ++x) {
                std::uint8_t* p = &out[f + (std::size_t(y) * width + x) * 4];
                std::memcpy(p, &host[(std::size_t(height - 1 - y) * pictureWidth + x) * 4], 3);
            }
    }
    return out;
}
