// The Cairo renderer: shapes with Cairo, text with Pango, PNG images read
// with Cairo and kept for the life of the process.
#include "duilib/render_cairo.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "duilib/UIManager.h"
#include "duilib/attributes.h"
#include "platform/platform.h"

namespace DuiLib {
namespace {

// The UI font family; fontconfig substitutes when it is missing.
constexpr const char* kUiFontFamily = "WenQuanYi Micro Hei";

// Images are read once per process; a file that cannot be read is remembered
// as missing so the diagnostic appears once.  The cache owns its surfaces and
// releases them when the process ends, so nothing is left behind unowned.
class ImageCache : public std::map<std::string, cairo_surface_t*> {
  public:
    ImageCache() = default;
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;
    ~ImageCache() { releaseAll(); }
    void releaseAll() {
        for (auto& entry : *this) {
            if (entry.second) {
                cairo_surface_destroy(entry.second);
            }
        }
        clear();
    }
};

ImageCache& imageCache() {
    static ImageCache cache;
    return cache;
}

// Images are a few hundred kilobytes at most.
constexpr std::size_t kLargestImage = 16 << 20;

struct PngReader {
    const std::string* bytes;
    std::size_t offset = 0;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->bytes->size() - reader->offset < length) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(data, reader->bytes->data() + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* loadImage(const std::string& file) {
    std::string path = attr::resourceFile(file, CPaintManagerUI::GetResourcePath().str());
    auto found = imageCache().find(path);
    if (found != imageCache().end()) {
        return found->second;
    }
    std::string bytes;
    PngReader reader{&bytes};
    cairo_surface_t* image = CPaintManagerUI::ReadResource(file, kLargestImage, bytes)
                                 ? cairo_image_surface_create_from_png_stream(readPng, &reader)
                                 : cairo_image_surface_create(CAIRO_FORMAT_INVALID, 0, 0);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        platform::debugOutput("duilib: cannot read image " + path);
        cairo_surface_destroy(image);
        image = nullptr;
    }
    imageCache()[path] = image;
    return image;
}

double width(const RECT& rc) {
    return rc.right - rc.left;
}
double height(const RECT& rc) {
    return rc.bottom - rc.top;
}

void setSourceArgb(cairo_t* cr, DWORD argb) {
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
}

void roundedRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry) {
    rx = std::min(rx, w / 2);
    ry = std::min(ry, h / 2);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    // Elliptic corners: draw unit arcs in a scaled space.
    const double corners[4][3] = {{x + w - rx, y + ry, -0.5},
                                  {x + w - rx, y + h - ry, 0.0},
                                  {x + rx, y + h - ry, 0.5},
                                  {x + rx, y + ry, 1.0}};
    cairo_new_sub_path(cr);
    for (const auto& corner : corners) {
        cairo_save(cr);
        cairo_translate(cr, corner[0], corner[1]);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, corner[2] * G_PI, (corner[2] + 0.5) * G_PI);
        cairo_restore(cr);
    }
    cairo_close_path(cr);
}

}  // namespace

void regionPath(cairo_t* cr, const HRGN__& region) {
    // Right and bottom edges are exclusive, as with Windows regions.
    roundedRectPath(cr, region.rc.left, region.rc.top, width(region.rc) - 1, height(region.rc) - 1,
                    region.ellipseWidth / 2.0, region.ellipseHeight / 2.0);
}

void clearImageCache() {
    imageCache().releaseAll();
}

void CairoRenderContext::fillAll(DWORD argb) {
    cairo_save(m_cr);
    setSourceArgb(m_cr, argb);
    cairo_paint(m_cr);
    cairo_restore(m_cr);
}

void CairoRenderContext::fillRect(const RECT& rc, DWORD argb, double radius) {
    if ((argb >> 24) == 0 || width(rc) <= 0 || height(rc) <= 0) {
        return;
    }
    setSourceArgb(m_cr, argb);
    roundedRectPath(m_cr, rc.left, rc.top, width(rc), height(rc), radius, radius);
    cairo_fill(m_cr);
}

void CairoRenderContext::strokeRect(const RECT& rc, DWORD argb, double lineWidth, double radius) {
    if ((argb >> 24) == 0 || lineWidth <= 0) {
        return;
    }
    setSourceArgb(m_cr, argb);
    cairo_set_line_width(m_cr, lineWidth);
    // Inset by half the line so the stroke stays inside the control.
    double h = lineWidth / 2;
    roundedRectPath(m_cr, rc.left + h, rc.top + h, width(rc) - lineWidth, height(rc) - lineWidth,
                    std::max(0.0, radius - h), std::max(0.0, radius - h));
    cairo_stroke(m_cr);
}

bool CairoRenderContext::drawImage(const std::string& file, const RECT& rc, double radius) {
    cairo_surface_t* image = file.empty() ? nullptr : loadImage(file);
    if (!image || width(rc) <= 0 || height(rc) <= 0) {
        return false;
    }
    int iw = cairo_image_surface_get_width(image);
    int ih = cairo_image_surface_get_height(image);
    cairo_save(m_cr);
    roundedRectPath(m_cr, rc.left, rc.top, width(rc), height(rc), radius, radius);
    cairo_clip(m_cr);
    cairo_translate(m_cr, rc.left, rc.top);
    cairo_scale(m_cr, width(rc) / iw, height(rc) / ih);
    cairo_set_source_surface(m_cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(m_cr), CAIRO_FILTER_GOOD);
    cairo_paint(m_cr);
    cairo_restore(m_cr);
    return true;
}

void CairoRenderContext::drawText(const std::string& text, const RECT& rc, DWORD argb,
                                  int pixelSize, bool bold, UINT style) {
    if (text.empty() || (argb >> 24) == 0 || width(rc) <= 0) {
        return;
    }
    PangoLayout* layout = pango_cairo_create_layout(m_cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kUiFontFamily);
    pango_font_description_set_absolute_size(font, pixelSize * PANGO_SCALE);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_set_width(layout, static_cast<int>(width(rc)) * PANGO_SCALE);
    if (style & DT_WORDBREAK) {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    } else {
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_alignment(layout, (style & DT_CENTER)  ? PANGO_ALIGN_CENTER
                                       : (style & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                            : PANGO_ALIGN_LEFT);
    int textWidth = 0;
    int textHeight = 0;
    pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
    double y = rc.top;
    if (style & DT_VCENTER) {
        y = rc.top + (height(rc) - textHeight) / 2;
    } else if (style & DT_BOTTOM) {
        y = rc.bottom - textHeight;
    }
    cairo_save(m_cr);
    cairo_rectangle(m_cr, rc.left, rc.top, width(rc), height(rc));
    cairo_clip(m_cr);
    setSourceArgb(m_cr, argb);
    cairo_move_to(m_cr, rc.left, y);
    pango_cairo_show_layout(m_cr, layout);
    cairo_restore(m_cr);
    pango_font_description_free(font);
    g_object_unref(layout);
}

void CairoRenderContext::drawTick(const RECT& box, DWORD argb) {
    double w = width(box);
    double h = height(box);
    setSourceArgb(m_cr, argb);
    cairo_set_line_width(m_cr, std::max(1.5, w / 8));
    cairo_set_line_cap(m_cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(m_cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(m_cr, box.left + w * 0.25, box.top + h * 0.52);
    cairo_line_to(m_cr, box.left + w * 0.43, box.top + h * 0.70);
    cairo_line_to(m_cr, box.left + w * 0.76, box.top + h * 0.33);
    cairo_stroke(m_cr);
}

void CairoRenderContext::clipTo(const RECT& rc, double rx, double ry) {
    roundedRectPath(m_cr, rc.left, rc.top, width(rc), height(rc), rx, ry);
    cairo_clip(m_cr);
}

bool paintToPng(int imageWidth, int imageHeight, const PaintIntoImage& paint,
                const std::string& path) {
    if (imageWidth <= 0 || imageHeight <= 0) {
        return false;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, imageWidth, imageHeight);
    cairo_t* cr = cairo_create(surface);
    const HRGN__* region = nullptr;
    {
        CairoRenderContext context(cr);
        region = paint(context);
    }
    if (region) {
        // Outside the region stays transparent, as on screen.
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
        regionPath(cr, *region);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

}  // namespace DuiLib
