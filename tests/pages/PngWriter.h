// Writes a screenshot as a PNG file: 8-bit RGB, no compression (stored
// deflate blocks), so that no image library is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `bgra` holds width x height pixels, top row first, 4 bytes each in the
// order of a 32-bit DIB (blue, green, red, unused). False when the file
// cannot be written whole.
bool WritePng(const std::wstring& path, int width, int height,
              const std::vector<std::uint8_t>& bgra);
