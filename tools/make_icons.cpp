// Draws the application icon from the game's own tiles and palette and writes it as PNG
// files at every size the desktop asks for:
//   make_icons OUTPUT_DIR
// writes OUTPUT_DIR/<size>x<size>/apps/corvane.png for each size, and
//   make_icons --ico FILE
// writes one Windows icon file holding every size.
//
// The icon is a 3 x 3 piece of board: tiles in the board's colour codes with the board's
// gaps, and one group outlined the way the pointer outlines it in play. Only the palette
// table and the board's header constants are used; the frame and box routines of the
// surface live next to its input and window code, and linking them would bring in a host.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "board/board.h"
#include "screen/palette.h"
#include "tools/png/png.h"

namespace icons {

constexpr std::array<int32_t, 6> SIZES = {16, 32, 48, 64, 128, 256};
constexpr int32_t TILES = 3;  // tiles per side of the icon

// Colours 1..5 of the tiles, row by row; the five tiles of colour 1 form one group.
constexpr int32_t COLOURS[TILES][TILES] = {
    {1, 1, 3},
    {4, 1, 2},
    {1, 1, 5},
};
constexpr int32_t OUTLINED_COLOUR = 1;

// The board's proportions, in pixels of one cell of CELL_SIZE: a tile leaves a gap of 3
// to the next, and a group outline is one pixel wide, 2 pixels inside the tile's edge.
constexpr double GAP = 3.0;
constexpr double TILE = board::CELL_SIZE - GAP;
constexpr double OUTLINE_INSET = 2.0;
constexpr double OUTLINE_WIDTH = 1.0;

constexpr int32_t OUTLINE_OFFSET = 32;  // an outline's palette index is the tile code + 32

struct Image {
    int32_t size;
    std::vector<uint8_t> rgba;  // size x size pixels, transparent where nothing is drawn
};

int32_t nearest(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

// Fills pixels x1..x2-1, y1..y2-1 with palette colour `index`, fully opaque.
void fill(Image& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t index) {
    const uint8_t* rgb = surface::DEFAULT_PALETTE[index];
    for (int32_t y = y1; y < y2; ++y) {
        for (int32_t x = x1; x < x2; ++x) {
            const auto at = static_cast<size_t>((y * image.size + x) * 4);
            image.rgba[at] = rgb[0];
            image.rgba[at + 1] = rgb[1];
            image.rgba[at + 2] = rgb[2];
            image.rgba[at + 3] = 255;
        }
    }
}

// A ring `width` pixels wide just inside the box x1..x2-1, y1..y2-1.
void ring(Image& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width,
          int32_t index) {
    fill(image, x1, y1, x2, y1 + width, index);
    fill(image, x1, y2 - width, x2, y2, index);
    fill(image, x1, y1, x1 + width, y2, index);
    fill(image, x2 - width, y1, x2, y2, index);
}

// The tiles fill the whole icon: TILES tiles and TILES - 1 gaps span `size` pixels, with
// the gap at least one pixel so the tiles stay apart at the smallest sizes.
Image drawIcon(int32_t size) {
    Image image{size, std::vector<uint8_t>(static_cast<size_t>(size * size * 4), 0)};
    const double scale = size / (TILES * TILE + (TILES - 1) * GAP);
    const double gap = std::max(1.0, static_cast<double>(nearest(GAP * scale)));
    const double tile = (size - (TILES - 1) * gap) / TILES;
    const int32_t inset = nearest(OUTLINE_INSET * tile / TILE);
    const int32_t width = std::max(1, nearest(OUTLINE_WIDTH * tile / TILE));
    for (int32_t row = 0; row < TILES; ++row) {
        for (int32_t column = 0; column < TILES; ++column) {
            const int32_t x1 = nearest(column * (tile + gap));
            const int32_t y1 = nearest(row * (tile + gap));
            const int32_t x2 = nearest(column * (tile + gap) + tile);
            const int32_t y2 = nearest(row * (tile + gap) + tile);
            const int32_t colour = COLOURS[row][column];
            const int32_t code = board::colourCode(colour);
            fill(image, x1, y1, x2, y2, code);
            if (colour == OUTLINED_COLOUR) {
                ring(image, x1 + inset, y1 + inset, x2 - inset, y2 - inset, width,
                     code + OUTLINE_OFFSET);
            }
        }
    }
    return image;
}

// The icon at one size as a PNG file's bytes; empty if it cannot be encoded.
std::vector<uint8_t> iconPng(int32_t size) {
    const Image icon = drawIcon(size);
    return png::encode(icon.size, icon.size, icon.rgba);
}

void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int32_t bytes) {
    for (int32_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// A Windows .ico file whose images are the PNG files themselves, which Windows reads since
// Vista: a directory of one 16-byte entry per image, then the images. A size of 256 is
// written as 0 in the entry's one-byte width and height.
std::vector<uint8_t> encodeIco(const std::vector<int32_t>& sizes,
                               const std::vector<std::vector<uint8_t>>& pngs) {
    constexpr uint32_t HEADER_BYTES = 6;
    constexpr uint32_t ENTRY_BYTES = 16;
    std::vector<uint8_t> ico;
    putLittleEndian(ico, 0, 2);  // reserved
    putLittleEndian(ico, 1, 2);  // type: icon
    putLittleEndian(ico, static_cast<uint32_t>(pngs.size()), 2);
    auto offset = static_cast<uint32_t>(HEADER_BYTES + ENTRY_BYTES * pngs.size());
    for (size_t i = 0; i < pngs.size(); ++i) {
        const auto side = static_cast<uint32_t>(sizes[i] >= 256 ? 0 : sizes[i]);
        putLittleEndian(ico, side, 1);
        putLittleEndian(ico, side, 1);
        putLittleEndian(ico, 0, 1);   // no colour table
        putLittleEndian(ico, 0, 1);   // reserved
        putLittleEndian(ico, 1, 2);   // colour planes
        putLittleEndian(ico, 32, 2);  // bits per pixel
        putLittleEndian(ico, static_cast<uint32_t>(pngs[i].size()), 4);
        putLittleEndian(ico, offset, 4);
        offset += static_cast<uint32_t>(pngs[i].size());
    }
    for (const std::vector<uint8_t>& png : pngs) {
        ico.insert(ico.end(), png.begin(), png.end());
    }
    return ico;
}

}  // namespace icons

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--ico") {
        const std::vector<int32_t> sizes(icons::SIZES.begin(), icons::SIZES.end());
        std::vector<std::vector<uint8_t>> pngs;
        for (const int32_t size : sizes) {
            pngs.push_back(icons::iconPng(size));
        }
        const bool encoded =
            std::none_of(pngs.begin(), pngs.end(), [](const auto& png) { return png.empty(); });
        if (!encoded || !png::writeFile(argv[2], icons::encodeIco(sizes, pngs))) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTPUT_DIR | --ico FILE\n");
        return 2;
    }
    for (const int32_t size : icons::SIZES) {
        const std::string sizeName = std::to_string(size) + "x" + std::to_string(size);
        const std::filesystem::path folder = std::filesystem::path(argv[1]) / sizeName / "apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        const std::vector<uint8_t> file = icons::iconPng(size);
        if (error || file.empty() || !png::writeFile(folder / "corvane.png", file)) {
            std::fprintf(stderr, "make_icons: cannot write the %s icon in %s\n", sizeName.c_str(),
                         argv[1]);
            return 1;
        }
    }
    return 0;
}
