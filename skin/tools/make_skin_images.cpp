// Draws the skin's images (PNG) into the folder given as the only argument.
// The results are committed; run this after changing a picture:
//   cmake --build <build> --target skin_images
//
// Palette: brand coral #FF4F4F to warm orange #FF8A5B, ink #1F2329, greys
// #646A73 / #DEE0E3, page tint #FFF6F4.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

struct Rgb {
    double r, g, b;
};
constexpr Rgb kCoral{1.0, 0x4F / 255.0, 0x4F / 255.0};
constexpr Rgb kOrange{1.0, 0x8A / 255.0, 0x5B / 255.0};
constexpr Rgb kInk{0x1F / 255.0, 0x23 / 255.0, 0x29 / 255.0};
constexpr Rgb kGrey{0xDE / 255.0, 0xE0 / 255.0, 0xE3 / 255.0};

void source(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void roundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 1.5 * M_PI);
    cairo_close_path(cr);
}

cairo_pattern_t* brandGradient(double x0, double y0, double x1, double y1) {
    cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
    cairo_pattern_add_color_stop_rgb(p, 0, kCoral.r, kCoral.g, kCoral.b);
    cairo_pattern_add_color_stop_rgb(p, 1, kOrange.r, kOrange.g, kOrange.b);
    return p;
}

// Rounded vertical bars of a voice wave, centred on `midY`.
void waveBars(cairo_t* cr, double x, double midY, double barWidth, double gap,
              const double* heights, int count) {
    for (int i = 0; i < count; ++i) {
        double h = heights[i];
        roundRect(cr, x + i * (barWidth + gap), midY - h / 2, barWidth, h, barWidth / 2);
        cairo_fill(cr);
    }
}

void text(cairo_t* cr, const std::string& s, double x, double y, double width, int px, bool bold,
          Rgb color, double alpha = 1.0) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "WenQuanYi Micro Hei");
    pango_font_description_set_absolute_size(font, px * PANGO_SCALE);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_width(layout, static_cast<int>(width) * PANGO_SCALE);
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    pango_layout_set_text(layout, s.c_str(), -1);
    source(cr, color, alpha);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    pango_font_description_free(font);
    g_object_unref(layout);
}

bool save(cairo_surface_t* surface, const std::string& path) {
    bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
    cairo_surface_destroy(surface);
    return ok;
}

bool drawLogo(const std::string& dir) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 24, 24);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* g = brandGradient(0, 0, 24, 24);
    cairo_set_source(cr, g);
    roundRect(cr, 0, 0, 24, 24, 6);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    const double bars[] = {6, 12, 16, 10, 6};
    cairo_set_source_rgb(cr, 1, 1, 1);
    waveBars(cr, 4.5, 12, 2, 1.75, bars, 5);
    cairo_destroy(cr);
    return save(s, dir + "/logo.png");
}

bool drawHero(const std::string& dir) {
    const int w = 552, h = 170;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* g = brandGradient(0, 0, w, h);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    // Soft light circles and a voice wave on the right, away from the titles.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    cairo_arc(cr, w - 60, 20, 110, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_arc(cr, w - 150, h + 30, 90, 0, 2 * M_PI);
    cairo_fill(cr);
    const double bars[] = {18, 34, 56, 40, 72, 50, 30, 62, 44, 24, 14};
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    waveBars(cr, w - 200, h / 2.0, 6, 8, bars, 11);
    cairo_destroy(cr);
    return save(s, dir + "/hero.png");
}

// A transcript card: a wave on the left turning into lines of text.
void transcriptCard(cairo_t* cr, double x, double y, double w, double h, int variant) {
    cairo_set_source_rgba(cr, 0, 0, 0, 0.06);
    roundRect(cr, x, y + 4, w, h, 14);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    roundRect(cr, x, y, w, h, 14);
    cairo_fill(cr);
    const double bars[2][9] = {{14, 30, 48, 26, 40, 58, 34, 20, 12},
                               {10, 22, 36, 52, 30, 44, 24, 38, 16}};
    cairo_pattern_t* g = brandGradient(x + 24, 0, x + 140, 0);
    cairo_set_source(cr, g);
    waveBars(cr, x + 28, y + h / 2, 7, 6, bars[variant], 9);
    cairo_pattern_destroy(g);
    // Arrow from voice to text.
    source(cr, kCoral);
    cairo_set_line_width(cr, 3);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    double ax = x + 162;
    cairo_move_to(cr, ax, y + h / 2);
    cairo_line_to(cr, ax + 26, y + h / 2);
    cairo_move_to(cr, ax + 18, y + h / 2 - 8);
    cairo_line_to(cr, ax + 26, y + h / 2);
    cairo_line_to(cr, ax + 18, y + h / 2 + 8);
    cairo_stroke(cr);
    const double lines[2][4] = {{0.92, 0.78, 0.86, 0.55}, {0.70, 0.95, 0.64, 0.82}};
    double lx = x + 212;
    double lw = w - 212 - 28;
    for (int i = 0; i < 4; ++i) {
        source(cr, i == 0 ? kInk : kGrey, i == 0 ? 0.85 : 1.0);
        roundRect(cr, lx, y + 30 + i * 22, lw * lines[variant][i], 9, 4.5);
        cairo_fill(cr);
    }
}

bool drawInstallingBackground(const std::string& dir, int variant) {
    const int w = 600, h = 360;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* bg = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(bg, 0, 1.0, 0xF1 / 255.0, 0xEE / 255.0);
    cairo_pattern_add_color_stop_rgb(bg, 0.7, 1, 1, 1);
    cairo_set_source(cr, bg);
    cairo_paint(cr);
    cairo_pattern_destroy(bg);
    const char* headline[2] = {"说话即成文字，准确又快速", "会议、课堂、访谈，一键整理成稿"};
    const char* subline[2] = {"实时转写 · 智能断句 · 自动标点", "多人区分 · 关键词提取 · 一键导出"};
    text(cr, headline[variant], 0, 34, w, 22, true, kInk);
    text(cr, subline[variant], 0, 68, w, 14, false, kInk, 0.6);
    transcriptCard(cr, 90, 110, 420, 130, variant);
    cairo_destroy(cr);
    return save(s, dir + "/installingbk" + std::to_string(variant + 1) + ".png");
}

bool drawDone(const std::string& dir) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 72, 72);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, kCoral.r, kCoral.g, kCoral.b, 0.12);
    cairo_arc(cr, 36, 36, 36, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_t* g = brandGradient(10, 10, 62, 62);
    cairo_set_source(cr, g);
    cairo_arc(cr, 36, 36, 26, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 24, 37);
    cairo_line_to(cr, 32, 45);
    cairo_line_to(cr, 48, 28);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return save(s, dir + "/done.png");
}

// The failure page's mark: a grey ring around an exclamation mark, calm
// rather than alarming, so the retry button stays the eye-catcher.
bool drawFailed(const std::string& dir) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 72, 72);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, kCoral.r, kCoral.g, kCoral.b, 0.12);
    cairo_arc(cr, 36, 36, 36, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.96, 0.42, 0.36);
    cairo_arc(cr, 36, 36, 26, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 5.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 36, 23);
    cairo_line_to(cr, 36, 39);
    cairo_stroke(cr);
    cairo_arc(cr, 36, 48, 3.2, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_destroy(cr);
    return save(s, dir + "/failed.png");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_skin_images <skin folder>\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = drawLogo(dir) && drawHero(dir) && drawInstallingBackground(dir, 0) &&
              drawInstallingBackground(dir, 1) && drawDone(dir) && drawFailed(dir);
    return ok ? 0 : 1;
}
