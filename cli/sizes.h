// Sizes the command line keeps to wherever it reads frames or streams.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes read from a pipe or file at a time (a multiple of 4, so of a pixel's
// bytes in 8-bit frames), and asked of the system for each pipe to and from
// ffmpeg: frames are megabytes, and larger pipes mean fewer switches between
// the processes (the system may cap them; the default then stays).
constexpr std::size_t kReadPiece = 1 << 20;
constexpr int kPipeBytes = 1 << 20;

// Frames of more than this many pixels are refused (16384 x 16384, a 1 GiB
// 8-bit frame), and memory is taken as the bytes arrive, not for the size
// announced.
constexpr std::uint64_t kFramePixelsMax = std::uint64_t(1) << 28;
