// Pieces the planar deep kernels share (internal linkage, as in
// kernels_common.h: each file is compiled for its own instruction set).
//
// A frame of planes is three or four one-channel passes: the count adds a
// plane's samples to its channel's histogram, the map looks a plane's
// samples up in its channel's table. What differs between the versions is
// the pass over one row of one plane, which the drivers here take.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "frame.h"
#include "kernels.h"

namespace {

// Whether the count reads plane k: the alpha plane only where there is one
// and it is counted as a channel.
inline bool countsPlane(const DeepPlanes& f, int k, FourthByte fourth) {
    return k != kAlpha || (f.plane[kAlpha] != nullptr && fourth == FourthByte::channel);
}

// countRow(row, width, histogram of the channel, M) for each row of each
// counted plane; an alpha not read counts every pixel as 0.
template <typename CountRow>
void countPlanesWith(const DeepPlanes& f, std::uint32_t (*histogram)[65536], FourthByte fourth,
                     CountRow countRow) {
    const std::uint32_t top = (1u << f.bits) - 1;
    for (int k : {kRed, kGreen, kBlue, kAlpha}) {
        if (!countsPlane(f, k, fourth)) {
            histogram[kAlpha][0] +=
                static_cast<std::uint32_t>(std::uint64_t(f.width) * std::uint64_t(f.height));
            continue;
        }
        for (std::int32_t r = 0; r < f.height; ++r)
            countRow(deepPlaneRow(f, k, r), f.width, histogram[k], top);
    }
}

// Every sample of plane k set to v.
inline void fillPlane(const DeepPlanes& f, int k, std::uint16_t v) {
    for (std::int32_t r = 0; r < f.height; ++r) {
        std::uint16_t* row = deepPlaneRow(f, k, r);
        for (std::int32_t x = 0; x < f.width; ++x) row[x] = v;
    }
}

// mapRow(row, width, table of the channel, M) for each row of each plane
// the map writes; a channel of one value is written as its entry.
template <typename MapRow>
void mapPlanesWith(const DeepPlanes& f, const std::uint16_t (*tables)[65536],
                   const DeepChannelValues& values, MapRow mapRow) {
    const std::uint32_t top = (1u << f.bits) - 1;
    for (int k : {kRed, kGreen, kBlue, kAlpha}) {
        if (k == kAlpha && (f.plane[kAlpha] == nullptr || values.fourthKept)) continue;
        if (values.single[k] >= 0) {
            fillPlane(f, k, tables[k][values.single[k]]);
            continue;
        }
        for (std::int32_t r = 0; r < f.height; ++r)
            mapRow(deepPlaneRow(f, k, r), f.width, tables[k], top);
    }
}

} // namespace
