// Picture blending and off-screen painting of the Win32 backend. The rules of
// text layout are the runtime's (tests/runtime/text_layout_test.cpp): here,
// only that GDI's measure and line height drive them.
// No window is made: these run without a display (under wine too).
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/scene_painter.h"

using namespace win32;

namespace {

// The bounding box of the pixels of one colour (0x00RRGGBB).
rt::PixelRect Ink(const std::vector<std::uint32_t>& pixels, int width, std::uint32_t colour)
{
    int x1 = width, y1 = 1 << 20, x2 = -1, y2 = -1;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] != colour) continue;
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
    }
    return x2 < 0 ? rt::PixelRect{} : rt::PixelRect{x1, y1, x2 - x1 + 1, y2 - y1 + 1};
}

}  // namespace

TEST(PictureBlending, TransparentPixelsLeaveWhatIsBelowAndClippingHolds)
{
    // 2 x 2: opaque red, transparent / transparent, opaque green.
    const rt::Picture picture("p", 2, 2, {0xFFFF0000, 0x00FFFFFF, 0x00000000, 0xFF00FF00});
    std::vector<std::uint32_t> pixels(4 * 3, 0x123456);
    BlendPicture(pixels.data(), 4, 3, picture, 1, 1, {0, 0, 4, 3});
    EXPECT_EQ(pixels[1 * 4 + 1], 0xFF0000u);
    EXPECT_EQ(pixels[1 * 4 + 2], 0x123456u);
    EXPECT_EQ(pixels[2 * 4 + 1], 0x123456u);
    EXPECT_EQ(pixels[2 * 4 + 2], 0x00FF00u);

    std::vector<std::uint32_t> clipped(4 * 3, 0);
    BlendPicture(clipped.data(), 4, 3, picture, 1, 1, {2, 0, 2, 3});
    EXPECT_EQ(clipped[1 * 4 + 1], 0u);
    EXPECT_EQ(clipped[2 * 4 + 2], 0x00FF00u);

    // Partly off the buffer: only what lies on it is touched.
    std::vector<std::uint32_t> edge(4 * 3, 0);
    BlendPicture(edge.data(), 4, 3, picture, 3, 2, {0, 0, 100, 100});
    EXPECT_EQ(edge[2 * 4 + 3], 0xFF0000u);
    EXPECT_EQ(std::count(edge.begin(), edge.end(), 0u), 11);
}

TEST(ScenePainting, FixedsysIsTheRealBitmapFont)
{
    ScenePainter painter;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, painter.font({"Fixedsys", 9.0f, 400}));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_STREQ(face, L"Fixedsys");
    EXPECT_EQ(metrics.tmHeight, 15);
    EXPECT_EQ(metrics.tmAveCharWidth, 8);
}

TEST(ScenePainting, EveryItemStaysInsideItsRectangleAndClip)
{
    rt::Scene scene;
    scene.background = {255, 255, 255};
    rt::DrawItem fill;
    fill.rect = {10, 10, 30, 20};
    fill.clip = {0, 0, 25, 100};
    fill.back = {0, 0, 128};
    scene.items.push_back(fill);

    rt::DrawItem image;
    image.kind = rt::DrawItem::Kind::Image;
    image.rect = {40, 5, 3, 1};
    image.clip = {0, 0, 200, 100};
    image.picture = rt::Picture("p", 3, 1, {0xFFFFFF00, 0x00000000, 0xFFFFFF00});
    scene.items.push_back(image);

    // A label of one line, 20 characters wide, half hidden by its frame's edge at x = 100.
    rt::DrawItem text;
    text.kind = rt::DrawItem::Kind::Text;
    text.rect = {60, 40, 160, 15};
    text.clip = {0, 0, 100, 100};
    text.fore = {255, 0, 0};
    text.font = {"Fixedsys", 9.0f, 400};
    text.text = "MMMMMMMMMMMMMMMMMMMM\rsecond line";
    scene.items.push_back(text);

    ScenePainter painter;
    const auto pixels = painter.render(scene, 200, 80);
    ASSERT_EQ(pixels.size(), 200u * 80u);
    EXPECT_EQ(Ink(pixels, 200, 0x000080), (rt::PixelRect{10, 10, 15, 20}));
    EXPECT_EQ(pixels[5 * 200 + 40], 0xFFFF00u);
    EXPECT_EQ(pixels[5 * 200 + 41], 0xFFFFFFu);  // transparent: the background shows
    EXPECT_EQ(pixels[5 * 200 + 42], 0xFFFF00u);
    const rt::PixelRect ink = Ink(pixels, 200, 0xFF0000);
    ASSERT_GT(ink.w, 0);
    EXPECT_GE(ink.x, 60);
    EXPECT_LE(ink.x + ink.w, 100);
    EXPECT_GE(ink.y, 40);
    EXPECT_LE(ink.y + ink.h, 55);
}

TEST(ScenePainting, TextIsMeasuredAndSpacedByTheFont)
{
    EXPECT_EQ(Widen("Perch\xC3\xA9 \xE2\x82\xAC"), L"Perch\u00E9 \u20AC");
    EXPECT_EQ(Widen("a\xFF"
                    "b"),
              L"a\uFFFDb");

    // Fixedsys: 8 x 15 pixel cells. Six cells wide, right-aligned: "MMMM" and
    // "MM" each end at the right edge, one line below the other.
    rt::DrawItem text;
    text.kind = rt::DrawItem::Kind::Text;
    text.rect = {0, 0, 48, 45};
    text.clip = text.rect;
    text.fore = {255, 0, 0};
    text.align = rt::Align::Right;
    text.font = {"Fixedsys", 9.0f, 400};
    text.text = "MMMM MM";
    rt::Scene scene;
    scene.background = {255, 255, 255};
    scene.items.push_back(text);

    ScenePainter painter;
    const auto pixels = painter.render(scene, 48, 45);
    const rt::PixelRect ink = Ink(pixels, 48, 0xFF0000);
    EXPECT_GE(ink.x, 16);
    EXPECT_LT(ink.x, 16 + 4);  // the first M's ink starts in its cell
    EXPECT_LE(ink.x + ink.w, 48);
    EXPECT_GE(ink.x + ink.w, 48 - 4);
    EXPECT_GT(ink.y + ink.h, 15);  // a second line
    EXPECT_LE(ink.y + ink.h, 30);  // and no third
}
