// Draws hobnar-setup's icon (hobnar.ico: 16, 32 and 48 pixels, 32-bit with
// alpha) into the file given as the only argument.  The result is committed;
// run this after changing the picture:
//   c++ -std=c++17 -O2 platform/win32/program/make_icon.cpp -o make_icon
//   ./make_icon platform/win32/program/hobnar.ico
//
// The picture: a rounded square in the skin's brand gradient, coral #FF4F4F
// to warm orange #FF8A5B, with five white level bars of a voice.  Shapes are
// sampled 8 x 8 times per pixel for smooth edges.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied) colour
};

// Inside a rounded rectangle, in unit coordinates (0..1 across the icon).
bool inRoundedRect(double x, double y, double left, double top, double right, double bottom,
                   double radius) {
    if (x < left || x > right || y < top || y > bottom) {
        return false;
    }
    double cx = std::clamp(x, left + radius, right - radius);
    double cy = std::clamp(y, top + radius, bottom - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// Five bars, tallest in the middle, centred on the icon.
bool inBars(double x, double y) {
    const double heights[] = {0.22, 0.40, 0.56, 0.40, 0.22};
    const double width = 0.085, gap = 0.05;
    double left = 0.5 - (5 * width + 4 * gap) / 2;
    for (int i = 0; i < 5; ++i) {
        double barLeft = left + i * (width + gap);
        double top = 0.5 - heights[i] / 2;
        if (inRoundedRect(x, y, barLeft, top, barLeft + width, top + heights[i], width / 2)) {
            return true;
        }
    }
    return false;
}

Pixel shade(double x, double y) {
    Pixel p;
    if (!inRoundedRect(x, y, 0.03, 0.03, 0.97, 0.97, 0.2)) {
        return p;
    }
    double t = std::clamp((x + y) / 2, 0.0, 1.0);
    p.a = 1;
    if (inBars(x, y)) {
        p.r = p.g = p.b = 1;
    } else {
        p.r = 1.0;
        p.g = (0x4F + t * (0x8A - 0x4F)) / 255.0;
        p.b = (0x4F + t * (0x5B - 0x4F)) / 255.0;
    }
    return p;
}

// Rows top to bottom, BGRA.
std::vector<std::uint8_t> render(int size) {
    const int samples = 8;
    std::vector<std::uint8_t> bgra;
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    Pixel p = shade((column + (sx + 0.5) / samples) / size,
                                    (row + (sy + 0.5) / samples) / size);
                    r += p.r * p.a;
                    g += p.g * p.a;
                    b += p.b * p.a;
                    a += p.a;
                }
            }
            auto channel = [&](double premultiplied) {
                return static_cast<std::uint8_t>(a > 0 ? std::lround(255 * premultiplied / a) : 0);
            };
            bgra.push_back(channel(b));
            bgra.push_back(channel(g));
            bgra.push_back(channel(r));
            bgra.push_back(static_cast<std::uint8_t>(std::lround(255 * a / (samples * samples))));
        }
    }
    return bgra;
}

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, unsigned value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// One icon image: a BITMAPINFOHEADER of double height (colour and mask), the
// BGRA rows bottom-up, then the 1-bit AND mask rows padded to 32 bits.
std::vector<std::uint8_t> iconImage(int size) {
    std::vector<std::uint8_t> image;
    put32(image, 40);
    put32(image, static_cast<unsigned>(size));
    put32(image, static_cast<unsigned>(size * 2));
    put16(image, 1);
    put16(image, 32);
    for (int i = 0; i < 6; ++i) {
        put32(image, 0);
    }
    std::vector<std::uint8_t> bgra = render(size);
    for (int row = size - 1; row >= 0; --row) {
        image.insert(image.end(), bgra.begin() + row * size * 4,
                     bgra.begin() + (row + 1) * size * 4);
    }
    int maskStride = ((size + 31) / 32) * 4;
    for (int row = size - 1; row >= 0; --row) {
        std::vector<std::uint8_t> mask(static_cast<size_t>(maskStride), 0);
        for (int column = 0; column < size; ++column) {
            if (bgra[static_cast<size_t>((row * size + column) * 4 + 3)] == 0) {
                mask[static_cast<size_t>(column / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (column % 8));
            }
        }
        image.insert(image.end(), mask.begin(), mask.end());
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    const int sizes[] = {16, 32, 48};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        images.push_back(iconImage(size));
    }
    std::vector<std::uint8_t> file;
    put16(file, 0);
    put16(file, 1);  // an icon
    put16(file, static_cast<unsigned>(images.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(0);  // no palette
        file.push_back(0);
        put16(file, 1);
        put16(file, 32);
        put32(file, static_cast<unsigned>(images[i].size()));
        put32(file, offset);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const auto& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
