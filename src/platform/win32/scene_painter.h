#pragma once
// Painting a window's Scene with GDI, and the pieces of it that need no device:
// UTF-8 to UTF-16 and blending pictures into 32-bit pixels.
//
// Every item is painted inside its rectangle intersected with its clip
// rectangle. Fills are solid; pictures are drawn unscaled at their rectangle's
// top-left, pixels of alpha 0 leaving what lies below (other alphas are
// blended); text is drawn in the item's font (CreateFont by name, height from
// the point size at the screen's logical DPI) without a background, laid out
// by the runtime's rules (runtime/text_layout.h) with GetTextExtentPoint32 as
// the measure and the font's tmHeight between lines.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "runtime/text_layout.h"

namespace win32 {

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);

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
