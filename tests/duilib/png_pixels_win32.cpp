#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include "platform/platform.h"
#include "tests/duilib/png_pixels.h"

namespace duitest {

std::vector<std::uint32_t> readPng(const std::string& path,
                                   const std::vector<std::pair<int, int>>& points) {
    std::vector<std::uint32_t> read;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        Gdiplus::Bitmap image(platform::toWide(path).c_str());
        if (image.GetLastStatus() == Gdiplus::Ok) {
            read = {image.GetWidth(), image.GetHeight()};
            for (const auto& [x, y] : points) {
                Gdiplus::Color color;
                image.GetPixel(x, y, &color);
                read.push_back(color.GetValue());
            }
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return read;
}

}  // namespace duitest
