// The GDI+ renderer: shapes, images and text with GDI+.  Fonts are GDI fonts
// (CreateFontW) handed to GDI+, since GDI+ under Wine finds no font family
// by name.  PNG images are read once and copied into memory, so no skin file
// stays open; images and fonts are kept until the process ends.
#include "duilib/UIManager.h"
#include "duilib/attributes.h"
#include "platform/platform.h"

#include "duilib/render_gdiplus.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <memory>

namespace DuiLib {
namespace {

using Gdiplus::REAL;

// The UI font: the first of these the system has.  Windows' CJK UI font by
// its English and its Chinese name, the CJK font of every Chinese Windows,
// and last the one a Debian machine running Wine offers through fontconfig
// (fonts-wqy-microhei).  A font without CJK glyphs would show boxes.
const wchar_t* const kUiFontFaces[] = {L"Microsoft YaHei", L"\u5FAE\u8F6F\u96C5\u9ED1", L"SimSun",
                                       L"WenQuanYi Micro Hei"};

LONG widthOf(const RECT& rc) {
    return rc.right - rc.left;
}
LONG heightOf(const RECT& rc) {
    return rc.bottom - rc.top;
}

REAL real(double value) {
    return static_cast<REAL>(value);
}

Gdiplus::Color colorOf(DWORD argb) {
    return Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb));
}

int CALLBACK noteFontFound(const ::LOGFONTW*, const ::TEXTMETRICW*, ::DWORD, ::LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// GDI+ itself and what the renderer keeps for the process.  Made at the first
// paint; destroyed at exit, its objects before GDI+ shuts down.
class GdiplusSession {
  public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        started = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
        m_dc = ::CreateCompatibleDC(nullptr);
    }
    ~GdiplusSession() {
        images.clear();
        m_fonts.clear();
        if (m_dc) {
            ::DeleteDC(m_dc);
        }
        if (started) {
            Gdiplus::GdiplusShutdown(m_token);
        }
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    Gdiplus::Bitmap* image(const std::string& name);
    Gdiplus::Font* font(int pixelSize, bool bold);

    bool started = false;
    // By path; nullptr remembers a file that cannot be read, so its
    // diagnostic appears once.
    std::map<std::string, std::unique_ptr<Gdiplus::Bitmap>> images;

  private:
    const std::wstring& uiFontFace();

    ULONG_PTR m_token = 0;
    ::HDC m_dc = nullptr;
    std::wstring m_face;
    std::map<std::pair<int, bool>, std::unique_ptr<Gdiplus::Font>> m_fonts;
};

std::unique_ptr<GdiplusSession>& sessionSlot() {
    static std::unique_ptr<GdiplusSession> session;
    return session;
}

// Nullptr when GDI+ cannot start.
GdiplusSession* session() {
    std::unique_ptr<GdiplusSession>& slot = sessionSlot();
    if (!slot) {
        slot = std::make_unique<GdiplusSession>();
    }
    return slot->started ? slot.get() : nullptr;
}

// Images are a few hundred kilobytes at most.
constexpr std::size_t kLargestImage = 16 << 20;

// Premultiplied in memory: drawn fast, and the bytes are let go at once.
Gdiplus::Bitmap* GdiplusSession::image(const std::string& name) {
    std::string path = attr::resourceFile(name, CPaintManagerUI::GetResourcePath().str());
    auto found = images.find(path);
    if (found != images.end()) {
        return found->second.get();
    }
    std::unique_ptr<Gdiplus::Bitmap> copy;
    std::string bytes;
    ::IStream* stream = CPaintManagerUI::ReadResource(name, kLargestImage, bytes)
                            ? ::SHCreateMemStream(reinterpret_cast<const ::BYTE*>(bytes.data()),
                                                  static_cast<::UINT>(bytes.size()))
                            : nullptr;
    Gdiplus::Bitmap file(stream, FALSE);
    if (stream != nullptr && file.GetLastStatus() == Gdiplus::Ok) {
        INT width = static_cast<INT>(file.GetWidth());
        INT height = static_cast<INT>(file.GetHeight());
        copy = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
        Gdiplus::Graphics graphics(copy.get());
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        if (graphics.DrawImage(&file, 0, 0, width, height) != Gdiplus::Ok) {
            copy.reset();
        }
    }
    if (stream != nullptr) {
        stream->Release();
    }
    if (!copy) {
        platform::debugOutput("duilib: cannot read image " + path);
    }
    return (images[path] = std::move(copy)).get();
}

const std::wstring& GdiplusSession::uiFontFace() {
    if (!m_face.empty()) {
        return m_face;
    }
    for (const wchar_t* face : kUiFontFaces) {
        ::LOGFONTW wanted{};
        wanted.lfCharSet = DEFAULT_CHARSET;
        std::wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
        bool found = false;
        ::EnumFontFamiliesExW(m_dc, &wanted, noteFontFound, reinterpret_cast<::LPARAM>(&found), 0);
        if (found) {
            m_face = face;
            return m_face;
        }
    }
    m_face = kUiFontFaces[0];  // GDI substitutes what it can
    return m_face;
}

Gdiplus::Font* GdiplusSession::font(int pixelSize, bool bold) {
    std::unique_ptr<Gdiplus::Font>& slot = m_fonts[std::make_pair(pixelSize, bold)];
    if (!slot) {
        // A negative height asks for the em size in pixels, as the Cairo
        // renderer's absolute size does.
        ::HFONT made =
            ::CreateFontW(-pixelSize, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, uiFontFace().c_str());
        slot = std::make_unique<Gdiplus::Font>(m_dc, made);
        ::DeleteObject(made);
        if (slot->GetLastStatus() != Gdiplus::Ok) {
            slot.reset();
        }
    }
    return slot.get();
}

// A rectangle with elliptic corners of radii rx, ry (square when either is 0).
void addRoundedRect(Gdiplus::GraphicsPath& path, double x, double y, double w, double h, double rx,
                    double ry) {
    rx = std::min(rx, w / 2);
    ry = std::min(ry, h / 2);
    if (rx <= 0 || ry <= 0) {
        path.AddRectangle(Gdiplus::RectF(real(x), real(y), real(w), real(h)));
        return;
    }
    REAL dx = real(2 * rx);
    REAL dy = real(2 * ry);
    path.AddArc(real(x + w - 2 * rx), real(y), dx, dy, 270, 90);
    path.AddArc(real(x + w - 2 * rx), real(y + h - 2 * ry), dx, dy, 0, 90);
    path.AddArc(real(x), real(y + h - 2 * ry), dx, dy, 90, 90);
    path.AddArc(real(x), real(y), dx, dy, 180, 90);
    path.CloseFigure();
}

void addRoundedRect(Gdiplus::GraphicsPath& path, const RECT& rc, double rx, double ry) {
    addRoundedRect(path, rc.left, rc.top, widthOf(rc), heightOf(rc), rx, ry);
}

// Right and bottom edges are exclusive, as with Windows regions.
void addRegion(Gdiplus::GraphicsPath& path, const HRGN__& region) {
    addRoundedRect(path, region.rc.left, region.rc.top, widthOf(region.rc) - 1,
                   heightOf(region.rc) - 1, region.ellipseWidth / 2.0, region.ellipseHeight / 2.0);
}

// DT_* flags as a GDI+ layout: one ellipsised line unless DT_WORDBREAK.
// Typographic, so no padding is added around the text (as with Pango).
void layoutFor(UINT style, Gdiplus::StringFormat& format) {
    auto along = [](bool middle, bool toEnd) {
        return middle ? Gdiplus::StringAlignmentCenter
                      : (toEnd ? Gdiplus::StringAlignmentFar : Gdiplus::StringAlignmentNear);
    };
    format.SetAlignment(along((style & DT_CENTER) != 0, (style & DT_RIGHT) != 0));
    format.SetLineAlignment(along((style & DT_VCENTER) != 0, (style & DT_BOTTOM) != 0));
    INT flags = format.GetFormatFlags() & ~Gdiplus::StringFormatFlagsNoClip;
    if (!(style & DT_WORDBREAK)) {
        flags |= Gdiplus::StringFormatFlagsNoWrap;
        format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    }
    format.SetFormatFlags(flags);
}

bool savePng(Gdiplus::Bitmap& bitmap, const std::string& path) {
    UINT count = 0;
    UINT bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) {
        return false;
    }
    std::vector<unsigned char> storage(bytes);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
    if (Gdiplus::GetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) {
        return false;
    }
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(encoders[i].MimeType) == L"image/png") {
            return bitmap.Save(platform::toWide(path).c_str(), &encoders[i].Clsid, nullptr) ==
                   Gdiplus::Ok;
        }
    }
    return false;
}

}  // namespace

GdiplusRenderContext::GdiplusRenderContext(Gdiplus::Graphics& graphics) : m_graphics(graphics) {
    // Pixel (x, y) covers x..x+1, as in Cairo, so edges fall where the
    // layout puts them.
    m_graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    m_graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    m_graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    m_graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
}

void GdiplusRenderContext::fillAll(DWORD argb) {
    Gdiplus::GraphicsState state = m_graphics.Save();
    m_graphics.ResetClip();
    m_graphics.Clear(colorOf(argb));
    m_graphics.Restore(state);
}

void GdiplusRenderContext::fillRect(const RECT& rc, DWORD argb, double radius) {
    if ((argb >> 24) == 0 || widthOf(rc) <= 0 || heightOf(rc) <= 0) {
        return;
    }
    Gdiplus::SolidBrush brush(colorOf(argb));
    Gdiplus::GraphicsPath path;
    addRoundedRect(path, rc, radius, radius);
    m_graphics.FillPath(&brush, &path);
}

void GdiplusRenderContext::strokeRect(const RECT& rc, DWORD argb, double lineWidth, double radius) {
    if ((argb >> 24) == 0 || lineWidth <= 0) {
        return;
    }
    Gdiplus::Pen pen(colorOf(argb), real(lineWidth));
    // Inset by half the line so the stroke stays inside the control.
    double h = lineWidth / 2;
    double inner = std::max(0.0, radius - h);
    Gdiplus::GraphicsPath path;
    addRoundedRect(path, rc.left + h, rc.top + h, widthOf(rc) - lineWidth, heightOf(rc) - lineWidth,
                   inner, inner);
    m_graphics.DrawPath(&pen, &path);
}

bool GdiplusRenderContext::drawImage(const std::string& file, const RECT& rc, double radius) {
    GdiplusSession* gdiplus = session();
    Gdiplus::Bitmap* image = (file.empty() || !gdiplus) ? nullptr : gdiplus->image(file);
    if (!image || widthOf(rc) <= 0 || heightOf(rc) <= 0) {
        return false;
    }
    Gdiplus::GraphicsPath shape;
    addRoundedRect(shape, rc, radius, radius);
    // Mirrored edges keep the scaled border from fading into transparency.
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    Gdiplus::GraphicsState state = m_graphics.Save();
    m_graphics.SetClip(&shape, Gdiplus::CombineModeIntersect);
    m_graphics.DrawImage(image, Gdiplus::Rect(rc.left, rc.top, widthOf(rc), heightOf(rc)), 0, 0,
                         static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()),
                         Gdiplus::UnitPixel, &edges);
    m_graphics.Restore(state);
    return true;
}

void GdiplusRenderContext::drawText(const std::string& text, const RECT& rc, DWORD argb,
                                    int pixelSize, bool bold, UINT style) {
    GdiplusSession* gdiplus = session();
    Gdiplus::Font* font = gdiplus ? gdiplus->font(pixelSize, bold) : nullptr;
    if (!font || text.empty() || (argb >> 24) == 0 || widthOf(rc) <= 0) {
        return;
    }
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    layoutFor(style, format);
    Gdiplus::SolidBrush brush(colorOf(argb));
    std::wstring wide = platform::toWide(text);
    Gdiplus::RectF area(real(rc.left), real(rc.top), real(widthOf(rc)), real(heightOf(rc)));
    m_graphics.DrawString(wide.c_str(), static_cast<INT>(wide.size()), font, area, &format, &brush);
}

void GdiplusRenderContext::drawTick(const RECT& box, DWORD argb) {
    double w = widthOf(box);
    double h = heightOf(box);
    Gdiplus::Pen pen(colorOf(argb), real(std::max(1.5, w / 8)));
    pen.SetLineCap(Gdiplus::LineCapRound, Gdiplus::LineCapRound, Gdiplus::DashCapRound);
    pen.SetLineJoin(Gdiplus::LineJoinRound);
    const Gdiplus::PointF points[] = {
        Gdiplus::PointF(real(box.left + w * 0.25), real(box.top + h * 0.52)),
        Gdiplus::PointF(real(box.left + w * 0.43), real(box.top + h * 0.70)),
        Gdiplus::PointF(real(box.left + w * 0.76), real(box.top + h * 0.33))};
    m_graphics.DrawLines(&pen, points, 3);
}

void GdiplusRenderContext::clipTo(const RECT& rc, double rx, double ry) {
    Gdiplus::GraphicsPath path;
    addRoundedRect(path, rc, rx, ry);
    m_graphics.SetClip(&path, Gdiplus::CombineModeIntersect);
}

void GdiplusRenderContext::save() {
    m_saved.push_back(m_graphics.Save());
}

void GdiplusRenderContext::restore() {
    if (!m_saved.empty()) {
        m_graphics.Restore(m_saved.back());
        m_saved.pop_back();
    }
}

void paintDoubleBuffered(::HDC target, int width, int height,
                         const std::function<void(CRenderContext&)>& paint, double scale) {
    if (width <= 0 || height <= 0 || !session()) {
        return;
    }
    ::BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as GDI+ lays out rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ::HBITMAP buffer = ::CreateDIBSection(target, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::HDC memory = ::CreateCompatibleDC(target);
    if (buffer && bits && memory) {
        {
            Gdiplus::Bitmap picture(width, height, width * 4, PixelFormat32bppPARGB,
                                    static_cast<BYTE*>(bits));
            Gdiplus::Graphics graphics(&picture);
            graphics.ScaleTransform(static_cast<Gdiplus::REAL>(scale),
                                    static_cast<Gdiplus::REAL>(scale));
            GdiplusRenderContext context(graphics);
            paint(context);
        }
        ::HGDIOBJ previous = ::SelectObject(memory, buffer);
        ::BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, previous);
    }
    if (memory) {
        ::DeleteDC(memory);
    }
    if (buffer) {
        ::DeleteObject(buffer);
    }
}

bool captureScreenPng(const RECT& area, const std::string& path) {
    int width = widthOf(area);
    int height = heightOf(area);
    if (width <= 0 || height <= 0 || !session()) {
        return false;
    }
    ::HDC screen = ::GetDC(nullptr);
    ::HDC memory = ::CreateCompatibleDC(screen);
    ::HBITMAP shot = ::CreateCompatibleBitmap(screen, width, height);
    bool saved = false;
    if (memory && shot) {
        ::HGDIOBJ previous = ::SelectObject(memory, shot);
        bool copied = ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top,
                               SRCCOPY | CAPTUREBLT) != FALSE;
        ::SelectObject(memory, previous);
        if (copied) {
            Gdiplus::Bitmap picture(shot, nullptr);
            saved = picture.GetLastStatus() == Gdiplus::Ok && savePng(picture, path);
        }
    }
    if (shot) {
        ::DeleteObject(shot);
    }
    if (memory) {
        ::DeleteDC(memory);
    }
    ::ReleaseDC(nullptr, screen);
    return saved;
}

bool paintToPng(int imageWidth, int imageHeight, const PaintIntoImage& paint,
                const std::string& path) {
    if (imageWidth <= 0 || imageHeight <= 0 || !session()) {
        return false;
    }
    Gdiplus::Bitmap image(imageWidth, imageHeight, PixelFormat32bppARGB);
    if (image.GetLastStatus() != Gdiplus::Ok) {
        return false;
    }
    {
        Gdiplus::Graphics graphics(&image);
        const HRGN__* region = nullptr;
        {
            GdiplusRenderContext context(graphics);
            region = paint(context);
        }
        if (region) {
            // Outside the region stays transparent, as on screen.
            Gdiplus::GraphicsPath inside;
            addRegion(inside, *region);
            graphics.ResetClip();
            graphics.SetClip(&inside, Gdiplus::CombineModeExclude);
            graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
        }
    }
    return savePng(image, path);
}

void clearImageCache() {
    if (std::unique_ptr<GdiplusSession>& slot = sessionSlot()) {
        slot->images.clear();
    }
}

}  // namespace DuiLib
