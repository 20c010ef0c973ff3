// Internal: drawing for controls and windows, on Cairo with Pango text.
// Not part of the public headers (it carries Cairo types).
#pragma once

#include <cairo.h>

#include <string>

#include "duilib/UIDefine.h"

namespace DuiLib {

struct HRGN__ {
    RECT rc;
    int ellipseWidth = 0;
    int ellipseHeight = 0;
};

// The paint context WM_PAINT carries in wParam.
class CRenderContext {
  public:
    explicit CRenderContext(cairo_t* cr) : m_cr(cr) {}
    cairo_t* cairo() const { return m_cr; }

    void fillRect(const RECT& rc, DWORD argb, double radius);
    void strokeRect(const RECT& rc, DWORD argb, double width, double radius);
    // Stretches a PNG of the resource folder over rc; false when it cannot be read.
    bool drawImage(const std::string& file, const RECT& rc, double radius);
    // Text in the CJK-capable UI font, `pixelSize` high, laid out by DT_* flags.
    void drawText(const std::string& text, const RECT& rc, DWORD argb, int pixelSize, bool bold,
                  UINT style);
    void drawTick(const RECT& box, DWORD argb);
    void save() { cairo_save(m_cr); }
    void restore() { cairo_restore(m_cr); }
    void clipTo(const RECT& rc, double radius);

  private:
    cairo_t* m_cr;
};

// The UI font family; fontconfig substitutes when it is missing.
constexpr const char* kUiFontFamily = "WenQuanYi Micro Hei";

void setSourceArgb(cairo_t* cr, DWORD argb);
void roundedRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry);
// The area a window region covers, in window coordinates.
void regionPath(cairo_t* cr, const HRGN__& region);
// Drops every cached image (the next paint reads the files again).
void clearImageCache();

}  // namespace DuiLib
