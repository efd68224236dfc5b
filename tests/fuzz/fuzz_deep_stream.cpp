// The deep route's NUT parser on any bytes: it passes on no more than it
// read, hands the caller only frames of the size its headers announce,
// and stops on anything it cannot read with a message.
#include <algorithm>
#include <cstring>

#include "nut_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0, written = 0;
    // Reads of odd lengths, as a pipe gives them.
    NutStreams io;
    io.read = [&](std::uint8_t* p, std::size_t n) {
        n = std::min(n, size - at);
        if (n > 0) std::memcpy(p, data + at, n);
        at += n;
        return n;
    };
    io.write = [&](const std::uint8_t*, std::size_t n) {
        written += n;
        return true;
    };
    io.frame = [&](std::uint8_t* frame, const NutPicture& p) {
        if (p.planes != 3 && p.planes != 4) __builtin_trap();
        const std::uint64_t bytes = p.frameBytes();
        if (bytes == 0 || bytes > (1u << 20)) __builtin_trap();
        std::memset(frame, 0x5A, std::size_t(bytes)); // all of it is the caller's
        return true;
    };
    io.maxFrameBytes = 1u << 20;
    const NutResult r = pumpNut(io);
    if (written > size) __builtin_trap();
    if (!r.ok && r.error.empty()) __builtin_trap();
    return 0;
}
