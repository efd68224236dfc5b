// The portable planar deep kernels, which the vector paths without a
// better one use: a sample looked up and incremented, or looked up and
// written back, one at a time.
#include "deep_planes_common.h"
#include "kernels_common.h"

void countDeepPlanesPortable(const DeepPlanes& frame, std::uint32_t (*histogram)[65536],
                             FourthByte fourth) {
    countPlanesWith(frame, histogram, fourth,
                    [](const std::uint16_t* row, std::int32_t width, std::uint32_t* h,
                       std::uint32_t top) {
                        for (std::int32_t x = 0; x < width; ++x) ++h[row[x] & top];
                    });
}

void mapDeepPlanesPortable(const DeepPlanes& frame, const std::uint16_t (*tables)[65536],
                           const DeepChannelValues& values) {
    mapPlanesWith(frame, tables, values,
                  [](std::uint16_t* row, std::int32_t width, const std::uint16_t* table,
                     std::uint32_t top) {
                      for (std::int32_t x = 0; x < width; ++x) row[x] = table[row[x] & top];
                  });
}
