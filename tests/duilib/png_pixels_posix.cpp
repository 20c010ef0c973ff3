#include <cairo.h>

#include "tests/duilib/png_pixels.h"

namespace duitest {

std::vector<std::uint32_t> readPng(const std::string& path,
                                   const std::vector<std::pair<int, int>>& points) {
    std::vector<std::uint32_t> read;
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        read = {static_cast<std::uint32_t>(cairo_image_surface_get_width(image)),
                static_cast<std::uint32_t>(cairo_image_surface_get_height(image))};
        for (const auto& [x, y] : points) {
            if (x >= static_cast<int>(read[0]) || y >= static_cast<int>(read[1])) {
                break;  // the size already differs
            }
            const unsigned char* row =
                cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
            read.push_back(reinterpret_cast<const std::uint32_t*>(row)[x]);
        }
    }
    cairo_surface_destroy(image);
    return read;
}

}  // namespace duitest
