// Writes 8-bit RGB pictures as PNG through a temporary file, so that a
// failed run never leaves a truncated picture behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `rgb` holds width x height pixels, top row first. Returns an error
// message, empty on success.
std::string writePng(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
                     int height);
