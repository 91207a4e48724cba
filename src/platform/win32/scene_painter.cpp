#include "platform/win32/scene_painter.h"

#include <algorithm>
#include <cmath>

namespace win32 {

std::wstring Widen(std::string_view utf8)
{
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

void BlendPicture(std::uint32_t* pixels, int width, int height, const rt::Picture& picture, int x, int y,
                  const rt::PixelRect& clip)
{
    if (!picture) return;
    rt::PixelRect area = rt::Intersect(clip, {0, 0, width, height});
    area = rt::Intersect(area, {x, y, picture.width(), picture.height()});
    for (int row = area.y; row < area.y + area.h; ++row) {
        std::uint32_t* dst = pixels + static_cast<std::size_t>(row) * width;
        for (int col = area.x; col < area.x + area.w; ++col) {
            const std::uint32_t src = picture.pixel(col - x, row - y);
            const std::uint32_t alpha = src >> 24;
            if (alpha == 0) continue;
            if (alpha == 255) {
                dst[col] = src & 0x00FFFFFFu;
                continue;
            }
            std::uint32_t mixed = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const std::uint32_t s = (src >> shift) & 0xFF, d = (dst[col] >> shift) & 0xFF;
                mixed |= ((s * alpha + d * (255 - alpha) + 127) / 255) << shift;
            }
            dst[col] = mixed;
        }
    }
}

namespace {

RECT ToRect(const rt::PixelRect& r) { return RECT{r.x, r.y, r.x + r.w, r.y + r.h}; }

COLORREF ToColor(const rt::Rgb& c) { return RGB(c.r, c.g, c.b); }

void Fill(HDC dc, const rt::PixelRect& area, const rt::Rgb& colour)
{
    const RECT r = ToRect(area);
    HBRUSH brush = CreateSolidBrush(ToColor(colour));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

}  // namespace

ScenePainter::ScenePainter() = default;

ScenePainter::~ScenePainter()
{
    if (dc_) {
        SelectObject(dc_, initialBitmap_);
        DeleteDC(dc_);
    }
    if (buffer_) DeleteObject(buffer_);
    for (auto& entry : fonts_) DeleteObject(entry.second);
}

HFONT ScenePainter::font(const rt::FontSpec& wanted)
{
    const auto key = std::make_tuple(wanted.name, wanted.points, wanted.weight);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    const float points = wanted.points > 0 ? wanted.points : 9.0f;
    const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
    const std::wstring face = Widen(wanted.name).substr(0, LF_FACESIZE - 1);
    HFONT font = CreateFontW(height, 0, 0, 0, std::clamp(wanted.weight, 0, 1000), FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    if (!font) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    fonts_.emplace(key, font);
    return font;
}

bool ScenePainter::ensureBuffer(int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    if (!dc_) {
        dc_ = CreateCompatibleDC(nullptr);
        if (!dc_) return false;
    }
    if (buffer_ && width == bufferWidth_ && height == bufferHeight_) return true;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return false;
    HGDIOBJ previous = SelectObject(dc_, bitmap);
    if (!initialBitmap_) initialBitmap_ = previous;
    if (buffer_) DeleteObject(buffer_);
    buffer_ = bitmap;
    bits_ = static_cast<std::uint32_t*>(bits);
    bufferWidth_ = width;
    bufferHeight_ = height;
    return true;
}

void ScenePainter::paint(HDC target, const rt::Scene& scene, int width, int height)
{
    if (!ensureBuffer(width, height)) return;
    draw(scene, width, height);
    BitBlt(target, 0, 0, width, height, dc_, 0, 0, SRCCOPY);
}

std::vector<std::uint32_t> ScenePainter::render(const rt::Scene& scene, int width, int height)
{
    if (!ensureBuffer(width, height)) return {};
    draw(scene, width, height);
    GdiFlush();
    std::vector<std::uint32_t> out(bits_, bits_ + static_cast<std::size_t>(width) * height);
    for (std::uint32_t& p : out) p &= 0x00FFFFFFu;
    return out;
}

void ScenePainter::draw(const rt::Scene& scene, int width, int height)
{
    const rt::PixelRect all{0, 0, width, height};
    Fill(dc_, all, scene.background);
    for (const rt::DrawItem& item : scene.items) {
        const rt::PixelRect area = rt::Intersect(rt::Intersect(item.rect, item.clip), all);
        if (area.w == 0 || area.h == 0) continue;
        switch (item.kind) {
        case rt::DrawItem::Kind::Fill: Fill(dc_, area, item.back); break;
        case rt::DrawItem::Kind::Image:
            GdiFlush();  // GDI may still be writing to the buffer
            BlendPicture(bits_, width, height, item.picture, item.rect.x, item.rect.y, area);
            break;
        case rt::DrawItem::Kind::Text: drawText(item, area); break;
        }
    }
}

void ScenePainter::drawText(const rt::DrawItem& item, const rt::PixelRect& area)
{
    HGDIOBJ previous = SelectObject(dc_, font(item.font));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc_, &metrics);
    const rt::MeasureText measure = [this](std::string_view text) {
        const std::wstring wide = Widen(text);
        SIZE size{};
        GetTextExtentPoint32W(dc_, wide.data(), static_cast<int>(wide.size()), &size);
        return static_cast<int>(size.cx);
    };
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, ToColor(item.fore));
    SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    const RECT clip = ToRect(area);
    for (const rt::LaidLine& line :
         rt::LayoutText(item.text, item.rect, item.align, metrics.tmHeight, measure)) {
        const std::wstring text = Widen(line.text);
        ExtTextOutW(dc_, line.x, line.y, ETO_CLIPPED, &clip, text.data(), static_cast<UINT>(text.size()),
                    nullptr);
    }
    SelectObject(dc_, previous);
}

}  // namespace win32
