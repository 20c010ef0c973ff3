// Internal: the drawing surface controls and windows paint on, and the
// window region.  No graphics library shows through here, so the build's
// renderer (Cairo and Pango on Linux, render_cairo.cpp; GDI+ on Windows,
// render_gdiplus.cpp) is chosen without touching the controls.
//
// Threads: window thread only.  A context lives for one paint; it is made
// and owned by the backend (or by paintToPng) and lent to WM_PAINT.
// Coordinates are client pixels; colours 0xAARRGGBB (alpha 0 draws nothing).
#pragma once

#include <functional>
#include <string>

#include "duilib/UIDefine.h"

namespace DuiLib {

// A window region: plain data every backend and renderer reads alike.
struct HRGN__ {
    RECT rc;
    int ellipseWidth = 0;
    int ellipseHeight = 0;
};

// The paint context WM_PAINT carries in wParam.
class CRenderContext {
  public:
    CRenderContext() = default;
    virtual ~CRenderContext() = default;
    CRenderContext(const CRenderContext&) = delete;
    CRenderContext& operator=(const CRenderContext&) = delete;

    // Covers the whole surface, whatever the clip.
    virtual void fillAll(DWORD argb) = 0;
    // `radius` rounds the corners; 0 keeps them square.
    virtual void fillRect(const RECT& rc, DWORD argb, double radius) = 0;
    // The line stays inside rc.
    virtual void strokeRect(const RECT& rc, DWORD argb, double width, double radius) = 0;
    // Stretches a PNG of the resource folder (or an absolute path) over rc,
    // cut to the rounded corners; false when it cannot be read.
    virtual bool drawImage(const std::string& file, const RECT& rc, double radius) = 0;
    // UTF-8 text in the CJK-capable UI font, `pixelSize` high, laid out in rc
    // by DT_* flags: one ellipsised line unless DT_WORDBREAK.
    virtual void drawText(const std::string& text, const RECT& rc, DWORD argb, int pixelSize,
                          bool bold, UINT style) = 0;
    // The check mark of a selected check box, inside `box`.
    virtual void drawTick(const RECT& box, DWORD argb) = 0;
    // Narrows the clip to rc with elliptic corners of radii rx, ry; undone
    // by the matching restore.
    virtual void clipTo(const RECT& rc, double rx, double ry) = 0;
    virtual void save() = 0;
    virtual void restore() = 0;
};

// ---- Supplied by the build's renderer ----------------------------------------------

// Paints into a width by height image in memory and writes it as a PNG.
// `paint` draws and answers the window's region at that moment (nullptr for
// none); outside it the image stays transparent, as on screen.  False when
// the image cannot be made or written.
using PaintIntoImage = std::function<const HRGN__*(CRenderContext&)>;
bool paintToPng(int width, int height, const PaintIntoImage& paint, const std::string& path);

// Drops every image the renderer has read (the next paint reads the files
// again).  Safe before any window exists.
void clearImageCache();

}  // namespace DuiLib
