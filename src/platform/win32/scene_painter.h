#pragma once
// Painting a window's Scene with GDI, and the pieces of it that need no device:
// UTF-8 to UTF-16, text layout, and blending pictures into 32-bit pixels.
//
// Every item is painted inside its rectangle intersected with its clip
// rectangle. Fills are solid; pictures are drawn unscaled at their rectangle's
// top-left, pixels of alpha 0 leaving what lies below (other alphas are
// blended); text is drawn in the item's font (CreateFont by name, height from
// the point size at the screen's logical DPI) without a background.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "runtime/platform.h"

namespace win32 {

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);

// The width in pixels of a run of text in the font being laid out.
using MeasureText = std::function<int(std::wstring_view)>;

// Breaks one line (no line end in it) at spaces so that each piece fits
// `width` pixels. The spaces where the line breaks are dropped; a word wider
// than `width` stays whole on a piece of its own. An empty line stays one
// empty piece.
std::vector<std::wstring> WrapLine(std::wstring_view line, int width, const MeasureText& measure);

struct LaidLine {
    std::wstring text;
    int x = 0, y = 0;  // top-left of the line's cell
};

// Lays out UTF-8 text in `rect`: lines end at CR, LF or CR LF (rt::SplitLines),
// each is wrapped to the rectangle's width and aligned on its own, one every
// `lineHeight` pixels from the rectangle's top. Lines that would start at or
// below the rectangle's bottom are left out; the last one shown may be cut by
// the rectangle.
std::vector<LaidLine> LayoutText(const std::string& utf8, const rt::PixelRect& rect, rt::Align align,
                                 int lineHeight, const MeasureText& measure);

rt::PixelRect Intersect(const rt::PixelRect& a, const rt::PixelRect& b);

// Draws `picture` with its top-left at (x, y) into a top-down 32-bit buffer of
// 0x00RRGGBB pixels, touching only pixels inside `clip` and the buffer.
void BlendPicture(std::uint32_t* pixels, int width, int height, const rt::Picture& picture, int x, int y,
                  const rt::PixelRect& clip);

class ScenePainter {
public:
    ScenePainter();
    ~ScenePainter();
    ScenePainter(const ScenePainter&) = delete;
    ScenePainter& operator=(const ScenePainter&) = delete;

    // Paints the whole scene onto `target` (a window's DC), width x height
    // pixels from its origin, through an off-screen buffer.
    void paint(HDC target, const rt::Scene& scene, int width, int height);

    // Paints the scene off screen and returns the pixels, 0x00RRGGBB row by row.
    std::vector<std::uint32_t> render(const rt::Scene& scene, int width, int height);

    // The font of a FontSpec (owned by the painter).
    HFONT font(const rt::FontSpec& wanted);

private:
    bool ensureBuffer(int width, int height);
    void draw(const rt::Scene& scene, int width, int height);
    void drawText(const rt::DrawItem& item, const rt::PixelRect& area);

    HDC dc_ = nullptr;
    HBITMAP buffer_ = nullptr;
    HGDIOBJ initialBitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int bufferWidth_ = 0, bufferHeight_ = 0;
    std::map<std::tuple<std::string, float, int>, HFONT> fonts_;
};

}  // namespace win32
