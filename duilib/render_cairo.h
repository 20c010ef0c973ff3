// Internal to the Cairo renderer and the GTK backend: the drawing surface on
// a cairo_t, and the path of a window region (the backend turns it into the
// window's X shape).  Nothing outside the GTK/Cairo source list includes it.
//
// Threads: window thread only.  The context borrows the cairo_t; its owner
// (GTK's draw signal, or paintToPng) keeps it alive for the paint.
#pragma once

#include <cairo.h>

#include "duilib/render.h"

namespace DuiLib {

class CairoRenderContext : public CRenderContext {
  public:
    explicit CairoRenderContext(cairo_t* cr) : m_cr(cr) {}

    void fillAll(DWORD argb) override;
    void fillRect(const RECT& rc, DWORD argb, double radius) override;
    void strokeRect(const RECT& rc, DWORD argb, double width, double radius) override;
    bool drawImage(const std::string& file, const RECT& rc, double radius) override;
    void drawText(const std::string& text, const RECT& rc, DWORD argb, int pixelSize, bool bold,
                  UINT style) override;
    void drawTick(const RECT& box, DWORD argb) override;
    void clipTo(const RECT& rc, double rx, double ry) override;
    void save() override { cairo_save(m_cr); }
    void restore() override { cairo_restore(m_cr); }

  private:
    cairo_t* m_cr;
};

// The area a window region covers, in window coordinates.
void regionPath(cairo_t* cr, const HRGN__& region);

}  // namespace DuiLib
