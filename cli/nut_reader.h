// The deep route's stream between the ffmpeg processes: NUT, as ffmpeg's
// muxer writes it for one raw video stream of planar 16-bit frames
// (gbrp16le, or gbrap16le where the picture has alpha).
//
// NUT is a file identifier, then packets and frames. A packet begins with a
// 64-bit start code whose first byte is 'N', its size (a variable-length
// number: 7 bits a byte, the high bit set on every byte but the last) and,
// above 4096 bytes, a header checksum; the main header holds the frame-code
// table, the stream header the picture's format and size. A frame begins
// with a frame-code byte (never 'N') whose table entry, with the fields
// its flags call for, gives the stream and the size of the data after the
// header. Every byte passes on as it came, but the frames' data, which
// the caller corrects in place: the encoder reads the decoder's timestamps,
// start offset and aspect ratio as written. Checksums cover headers only.
//
// The parser reads nothing beyond what it has read in, takes memory only
// for what the stream holds, and refuses with a message: a stream it cannot
// read as above, a picture not of those formats, a frame of another size
// than the stream header's (a picture that changes size mid-stream), and
// frames larger than the caller allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The stream's picture: its size and planes (3, or 4 with alpha), each
// plane width x height little-endian 16-bit samples, one after another in
// the order green, blue, red, alpha.
struct NutPicture {
    std::int32_t width = 0, height = 0;
    int planes = 0;
    std::uint64_t frameBytes() const {
        return std::uint64_t(width) * std::uint64_t(height) * 2u * std::uint64_t(planes);
    }
};

struct NutStreams {
    // Reads up to n bytes into p; fewer only at the end of the stream.
    std::function<std::size_t(std::uint8_t* p, std::size_t n)> read;
    // Writes n bytes; false when they cannot go on.
    std::function<bool(const std::uint8_t* p, std::size_t n)> write;
    // Corrects a frame in place; false stops the stream (error() says why).
    std::function<bool(std::uint8_t* frame, const NutPicture& picture)> frame;
    std::uint64_t maxFrameBytes = 0;
};

struct NutResult {
    bool ok = true;
    std::string error; // what went wrong, when not ok
    long frames = 0;   // frames corrected and passed on
    bool cutShort = false; // it went wrong because the stream ended early
};

// Passes the stream from read to write, each frame through `frame`.
NutResult pumpNut(const NutStreams& io);
