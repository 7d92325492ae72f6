#include "tools/png/png.h"

#include <algorithm>
#include <cstdio>

namespace png {
namespace {

constexpr uint32_t OPAQUE = 0xFF;

uint32_t crc32(const std::vector<uint8_t>& bytes, size_t from) {
    uint32_t crc = 0xFFFFFFFFU;
    for (size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int32_t bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1U) != 0 ? 0xEDB88320U : 0U);
        }
    }
    return ~crc;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int32_t shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out, typeAt));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> storedZlib(const std::vector<uint8_t>& raw) {
    constexpr size_t BLOCK = 65535;
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t length = std::min(BLOCK, raw.size() - at);
        const bool last = at + length == raw.size();
        out.push_back(static_cast<uint8_t>(last ? 1 : 0));
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    uint32_t low = 1;
    uint32_t high = 0;
    for (const uint8_t byte : raw) {
        low = (low + byte) % 65521U;
        high = (high + low) % 65521U;
    }
    putBigEndian(out, (high << 16) | low);
    return out;
}

uint32_t pixelAt(const std::vector<uint8_t>& rgba, size_t i) {
    return static_cast<uint32_t>(rgba[4 * i]) << 24 | static_cast<uint32_t>(rgba[4 * i + 1]) << 16 |
           static_cast<uint32_t>(rgba[4 * i + 2]) << 8 | rgba[4 * i + 3];
}

}  // namespace

std::vector<uint8_t> encode(int32_t width, int32_t height, const std::vector<uint8_t>& rgba) {
    if (width <= 0 || height <= 0 ||
        rgba.size() != 4 * static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return {};
    }
    const auto columns = static_cast<size_t>(width);
    const auto rows = static_cast<size_t>(height);
    // Colours in order of first appearance, an index per pixel while there are few enough.
    std::vector<uint32_t> colours;
    std::vector<uint8_t> indices(columns * rows);
    bool translucent = false;
    for (size_t i = 0; i < columns * rows; ++i) {
        translucent = translucent || rgba[4 * i + 3] != OPAQUE;
        if (colours.size() > 256) {
            continue;
        }
        const uint32_t colour = pixelAt(rgba, i);
        const auto found = std::find(colours.begin(), colours.end(), colour);
        indices[i] = static_cast<uint8_t>(found - colours.begin());
        if (found == colours.end()) {
            colours.push_back(colour);
        }
    }
    const bool indexed = colours.size() <= 256;
    const size_t channels = indexed ? 1 : translucent ? 4 : 3;
    std::vector<uint8_t> raw;
    raw.reserve(rows * (1 + columns * channels));
    for (size_t y = 0; y < rows; ++y) {
        raw.push_back(0);  // filter: none
        for (size_t x = 0; x < columns; ++x) {
            const size_t i = y * columns + x;
            if (indexed) {
                raw.push_back(indices[i]);
            } else {
                raw.insert(raw.end(), rgba.begin() + static_cast<std::ptrdiff_t>(4 * i),
                           rgba.begin() + static_cast<std::ptrdiff_t>(4 * i + channels));
            }
        }
    }

    // Colour types: 3 indexed, 2 RGB, 6 RGBA; depth 8, deflate, filter 0, no interlace.
    const uint8_t colourType = indexed ? 3 : translucent ? 6 : 2;
    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, colourType, 0, 0, 0});
    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(file, "IHDR", header);
    if (indexed) {
        std::vector<uint8_t> palette;
        std::vector<uint8_t> alpha;
        for (const uint32_t colour : colours) {
            palette.insert(palette.end(),
                           {static_cast<uint8_t>(colour >> 24), static_cast<uint8_t>(colour >> 16),
                            static_cast<uint8_t>(colour >> 8)});
            alpha.push_back(static_cast<uint8_t>(colour));
        }
        putChunk(file, "PLTE", palette);
        if (translucent) {
            putChunk(file, "tRNS", alpha);
        }
    }
    putChunk(file, "IDAT", storedZlib(raw));
    putChunk(file, "IEND", {});
    return file;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace png
