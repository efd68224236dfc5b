#include "png_write.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

// Writes the image via a temporary file; returns an error message, empty on success.
std::string writePng(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
                     int height) {
    // Renaming over a device or directory would replace it rather than write through it.
    std::error_code statErr;
    const auto existing = std::filesystem::status(path, statErr);
    if (!statErr && std::filesystem::exists(existing) &&
        !std::filesystem::is_regular_file(existing)) {
        return path + " exists and is not a regular file";
    }

    const std::string tmp = path + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) {
        return "cannot create " + tmp + ": " + std::strerror(errno);
    }

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;

    std::string err;
    if (png_image_write_to_stdio(&image, f, 0, rgb.data(), 0, nullptr) == 0) {
        err = std::string("cannot encode ") + tmp + ": " + image.message;
    }
    png_image_free(&image);
    if (err.empty() && (std::fflush(f) != 0 || std::ferror(f) != 0)) {
        err = "cannot write " + tmp + ": " + std::strerror(errno);
    }
    if (std::fclose(f) != 0 && err.empty()) {
        err = "cannot write " + tmp + ": " + std::strerror(errno);
    }
    if (!err.empty()) {
        std::remove(tmp.c_str());
        return err;
    }

    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::remove(tmp.c_str());
        return "cannot rename " + tmp + " to " + path + ": " + ec.message();
    }
    return {};
}
