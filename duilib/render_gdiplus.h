// Internal to the GDI+ renderer and the Win32 backend: the drawing surface on
// a GDI+ Graphics, the window's double-buffered paint and PNG files.  Nothing
// outside the Win32/GDI+ source list includes it.
//
// Threads: window thread only.  A context borrows its Graphics; the owner
// (paintDoubleBuffered, paintToPng) keeps it alive for the paint.  GDI+ is
// started on first use and shut down when the process ends, after the images
// and fonts the renderer keeps have been released.
//
// Include it after every other framework header: windows.h defines macros
// (PostMessage, SendMessage, WM_..., VK_...) that would otherwise rename or
// break the framework's own declarations.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "duilib/render.h"

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

namespace DuiLib {

class GdiplusRenderContext : public CRenderContext {
  public:
    explicit GdiplusRenderContext(Gdiplus::Graphics& graphics);

    void fillAll(DWORD argb) override;
    void fillRect(const RECT& rc, DWORD argb, double radius) override;
    void strokeRect(const RECT& rc, DWORD argb, double width, double radius) override;
    bool drawImage(const std::string& file, const RECT& rc, double radius) override;
    void drawText(const std::string& text, const RECT& rc, DWORD argb, int pixelSize, bool bold,
                  UINT style) override;
    void drawTick(const RECT& box, DWORD argb) override;
    void clipTo(const RECT& rc, double rx, double ry) override;
    void save() override;
    void restore() override;

  private:
    Gdiplus::Graphics& m_graphics;
    std::vector<Gdiplus::GraphicsState> m_saved;
};

// Paints a width by height window through `paint` into a buffer in memory
// and copies the finished picture to `target` at once, so no half-drawn
// frame ever shows.  `scale` device pixels per skin pixel: text, shapes and
// images are drawn at that size, not stretched afterwards.
void paintDoubleBuffered(::HDC target, int width, int height,
                         const std::function<void(CRenderContext&)>& paint, double scale = 1.0);

// Writes what the screen shows in a rectangle (screen coordinates) as a PNG
// file (UTF-8 path); false when it cannot.
bool captureScreenPng(const RECT& area, const std::string& path);

}  // namespace DuiLib
