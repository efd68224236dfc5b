// glyph_sheet: renders the overlay font as a PNG contact sheet so the glyphs can be reviewed by
// eye. The sheet is a 16x16 grid; the cell in row r, column c shows character code 16*r + c.
// Each glyph is drawn enlarged, dark ink on a light background, with a one-pixel grid line
// between cells so the glyph boundaries stay visible.
//
// Usage: glyph_sheet OUT.png
//
// The image is written to OUT.png.tmp first and renamed over OUT.png only once it is complete,
// so a failed run never leaves a truncated PNG behind. OUT.png, if it exists, must be a regular
// file.

#include "glyph_table.h"
#include "png_write.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kGlyphW = 8;
constexpr int kGlyphH = 16;
constexpr int kScale = 3;
constexpr int kGrid = 1; // grid line thickness, around and between cells
constexpr int kCellW = kGlyphW * kScale;
constexpr int kCellH = kGlyphH * kScale;
constexpr int kCells = 16;
constexpr int kSheetW = kCells * (kCellW + kGrid) + kGrid;
constexpr int kSheetH = kCells * (kCellH + kGrid) + kGrid;

struct Rgb {
    std::uint8_t r, g, b;
};
constexpr Rgb kPaper{250, 250, 244};
constexpr Rgb kInk{20, 20, 20};
constexpr Rgb kGridLine{170, 186, 218};

bool inkAt(int code, int x, int y) {
    const unsigned row = glyphTable[code * kGlyphH + y];
    return ((row >> (kGlyphW - 1 - x)) & 1u) != 0;
}

// Returns the sheet as packed 8-bit RGB, top row first.
std::vector<std::uint8_t> renderSheet() {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kSheetW) * kSheetH * 3);
    std::size_t i = 0;
    for (int y = 0; y < kSheetH; ++y) {
        const int cellRow = y / (kCellH + kGrid);
        const int inY = y % (kCellH + kGrid) - kGrid;
        for (int x = 0; x < kSheetW; ++x) {
            const int cellCol = x / (kCellW + kGrid);
            const int inX = x % (kCellW + kGrid) - kGrid;
            Rgb c = kGridLine;
            if (inX >= 0 && inY >= 0) {
                const int code = cellRow * kCells + cellCol;
                c = inkAt(code, inX / kScale, inY / kScale) ? kInk : kPaper;
            }
            rgb[i++] = c.r;
            rgb[i++] = c.g;
            rgb[i++] = c.b;
        }
    }
    return rgb;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: %s OUT.png\n", argc > 0 ? argv[0] : "glyph_sheet");
        return 2;
    }
    const std::string err = writePng(argv[1], renderSheet(), kSheetW, kSheetH);
    if (!err.empty()) {
        std::fprintf(stderr, "glyph_sheet: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
