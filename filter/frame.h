// How the frame correction sees a frame.
#pragma once

#include <cstddef>
#include <cstdint>

// One 32-bit pixel: in memory blue, green, red, alpha (the word reads 0xAARRGGBB).
struct FramePixel {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
    std::uint8_t alpha;
};
static_assert(sizeof(FramePixel) == 4, "a pixel is four bytes");

// Channel order of every per-channel array. Channel k is pixel byte 3 - k.
enum Channel : int { kAlpha = 0, kRed = 1, kGreen = 2, kBlue = 3 };

// What a pixel's fourth byte is to the correction.
enum class FourthByte {
    // The alpha channel: counted, stretched and mapped like the colours (the
    // video host's frames, which carry 0 there).
    channel,
    // Not picture: counted as 0, as the video host's frames carry it, and
    // written back as each pixel holds it, so a host's real alpha comes
    // through untouched (the frei0r hosts' frames).
    kept,
    // The alpha channel of a frame whose fourth bytes the host would have
    // cleared: the run is the `channel` run of the frame with every fourth
    // byte 0, whatever the bytes hold (raw frames from tools that put 255
    // there), without a pass to clear them first.
    zeroed,
};

// One frame: rows at data + row * pitch bytes, the first `width` pixels of
// each row. The host stores pictures bottom-up, so memory row 0 is the bottom
// row of the picture. The pitch may be larger than a row, or negative.
struct FrameView {
    FramePixel* data;
    std::int32_t width;
    std::int32_t height;
    std::ptrdiff_t pitch; // bytes from one memory row to the next
};

inline bool frameIsEmpty(const FrameView& f) {
    return f.width <= 0 || f.height <= 0;
}

inline std::uint8_t* frameRowBytes(const FrameView& f, std::int32_t row) {
    return reinterpret_cast<std::uint8_t*>(f.data) + static_cast<std::ptrdiff_t>(row) * f.pitch;
}

// Pixel count of a non-empty frame, wide enough for any int32 width and height.
inline std::uint64_t framePixelCount(const FrameView& f) {
    return static_cast<std::uint64_t>(f.width) * static_cast<std::uint64_t>(f.height);
}

// One pixel of 16-bit samples in memory order blue, green, red, alpha
// (ffmpeg's bgra64le on a little-endian machine).
struct DeepPixel {
    std::uint16_t blue;
    std::uint16_t green;
    std::uint16_t red;
    std::uint16_t alpha;
};
static_assert(sizeof(DeepPixel) == 8, "a deep pixel is eight bytes");

// A frame of deep pixels whose samples use `bits` bits (values 0..2^bits-1).
// Rows at data + row * pitch bytes; memory row 0 is the bottom of the picture.
struct DeepView {
    DeepPixel* data;
    std::int32_t width;
    std::int32_t height;
    std::ptrdiff_t pitch;
    int bits;
};

inline std::uint8_t* deepRowBytes(const DeepView& f, std::int32_t row) {
    return reinterpret_cast<std::uint8_t*>(f.data) + static_cast<std::ptrdiff_t>(row) * f.pitch;
}

// A deep frame as planes (ffmpeg's gbrp16le and gbrap16le): one plane of
// little-endian 16-bit samples a channel, indexed by Channel, whose samples
// use `bits` bits. Plane k's rows at plane[k] + row * stride[k] bytes.
// plane[kAlpha] is nullptr where the frame has no alpha: it counts as 0
// and nothing is written there.
struct DeepPlanes {
    std::uint16_t* plane[4];
    std::ptrdiff_t stride[4]; // bytes from one row of the plane to the next
    std::int32_t width;
    std::int32_t height;
    int bits;
};

inline std::uint16_t* deepPlaneRow(const DeepPlanes& f, int k, std::int32_t row) {
    return reinterpret_cast<std::uint16_t*>(reinterpret_cast<std::uint8_t*>(f.plane[k]) +
                                            static_cast<std::ptrdiff_t>(row) * f.stride[k]);
}
