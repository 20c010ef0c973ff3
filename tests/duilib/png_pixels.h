// Reading back a PNG that the renderer wrote, with the system's image
// library: Cairo (png_pixels_posix.cpp; its pixels are premultiplied, so
// only opaque and clear ones compare) or GDI+ (png_pixels_win32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace duitest {

// Width, height, then the 0xAARRGGBB colour at each (x, y) of `points`
// (up to the first outside the image); nothing when the file cannot be read.
std::vector<std::uint32_t> readPng(const std::string& path,
                                   const std::vector<std::pair<int, int>>& points);

}  // namespace duitest
