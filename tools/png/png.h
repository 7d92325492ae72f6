// PNG files written without a compression library, for the icon drawer and the tests'
// screenshots: stored (uncompressed) deflate blocks, and a palette wherever the picture has
// at most 256 colours, which keeps such files small anyway.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace png {

// The PNG of a width x height picture given as RGBA bytes, row by row (4 bytes a pixel);
// empty for a picture of no pixels or the wrong number of bytes.
std::vector<uint8_t> encode(int32_t width, int32_t height, const std::vector<uint8_t>& rgba);

// Writes bytes to a file, replacing it; false when it cannot be written whole.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace png
