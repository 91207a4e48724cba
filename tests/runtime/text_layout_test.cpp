// The text layout every backend uses, measured here as a fixed-pitch font of
// 8 pixels a character (Fixedsys' cell) with 15-pixel lines.
#include <gtest/gtest.h>

#include "runtime/text_layout.h"

using namespace rt;

namespace {

constexpr int kCell = 8, kLine = 15;

// One cell a character: UTF-8 continuation bytes take no room of their own.
const MeasureText kCells = [](std::string_view text) {
    int n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n * kCell;
};

using Lines = std::vector<std::string>;

Lines Wrap(std::string_view line, int cells) { return WrapLine(line, cells * kCell, kCells); }

std::vector<LaidLine> Layout(const std::string& text, PixelRect rect, Align align = Align::Left)
{
    return LayoutText(text, rect, align, kLine, kCells);
}

Lines Texts(const std::vector<LaidLine>& lines)
{
    Lines out;
    for (const LaidLine& line : lines) out.push_back(line.text);
    return out;
}

}  // namespace

TEST(TextLayout, LinesWrapAtSpacesAndDropTheSpacesOfTheBreak)
{
    EXPECT_EQ(Wrap("uno due tre", 7), (Lines{"uno due", "tre"}));
    EXPECT_EQ(Wrap("uno due tre", 6), (Lines{"uno", "due", "tre"}));
    EXPECT_EQ(Wrap("uno    due", 5), (Lines{"uno", "due"}));
    EXPECT_EQ(Wrap("  uno due", 5), (Lines{"  uno", "due"})) << "leading spaces belong to the text";
    EXPECT_EQ(Wrap("uno due tre", 11), (Lines{"uno due tre"}));
    EXPECT_EQ(Wrap("", 5), (Lines{""})) << "an empty line still takes its place";
    EXPECT_EQ(Wrap("perch\xC3\xA9 s\xC3\xAC", 6), (Lines{"perch\xC3\xA9", "s\xC3\xAC"}))
        << "measured in characters, not bytes";
}

TEST(TextLayout, AWordWiderThanTheRectangleStaysWhole)
{
    EXPECT_EQ(Wrap("precipitevolissimevolmente ok", 5), (Lines{"precipitevolissimevolmente", "ok"}));
    EXPECT_EQ(Wrap("ab cdefgh", 4), (Lines{"ab", "cdefgh"}));
    EXPECT_EQ(Wrap("abcdefghij", 0), (Lines{"abcdefghij"}));
}

TEST(TextLayout, EveryKindOfLineEndStartsALineOneBelowTheOther)
{
    EXPECT_EQ(SplitLines("a\r\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\r\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb\r"), (Lines{"a", "b", ""}));

    const auto lines = Layout("uno\r\ndue\rtre\nquattro\n\ncinque", {10, 20, 40 * kCell, 10 * kLine});
    EXPECT_EQ(Texts(lines), (Lines{"uno", "due", "tre", "quattro", "", "cinque"}));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].x, 10) << i;
        EXPECT_EQ(lines[i].y, 20 + int(i) * kLine) << i;
    }
}

TEST(TextLayout, EachLineIsAlignedOnItsOwn)
{
    const PixelRect rect{0, 0, 10 * kCell, 5 * kLine};
    const auto right = Layout("ab\nabcd", rect, Align::Right);
    ASSERT_EQ(right.size(), 2u);
    EXPECT_EQ(right[0].x, 8 * kCell);
    EXPECT_EQ(right[1].x, 6 * kCell);
    EXPECT_EQ(right[1].width, 4 * kCell);

    const auto centre = Layout("ab\nabc", rect, Align::Center);
    EXPECT_EQ(centre[0].x, 4 * kCell);
    EXPECT_EQ(centre[1].x, (10 * kCell - 3 * kCell) / 2);

    // The pieces of a wrapped line are aligned each on its own.
    const auto wrapped = Layout("aaaa bb", {100, 0, 5 * kCell, 5 * kLine}, Align::Right);
    ASSERT_EQ(wrapped.size(), 2u);
    EXPECT_EQ(wrapped[0].x, 100 + kCell);
    EXPECT_EQ(wrapped[1].x, 100 + 3 * kCell);

    // A word wider than the rectangle starts left of it when aligned right.
    EXPECT_EQ(Layout("abcdefgh", {0, 0, 4 * kCell, kLine}, Align::Right).at(0).x, -4 * kCell);
}

TEST(TextLayout, LinesStartingBelowTheRectangleAreLeftOut)
{
    // Two whole lines and part of a third fit: the third is laid out (and cut by the clip).
    EXPECT_EQ(Texts(Layout("a\nb\nc\nd", {0, 0, 5 * kCell, 2 * kLine + kLine / 2})), (Lines{"a", "b", "c"}));
    EXPECT_EQ(Texts(Layout("aaa bbb ccc", {0, 0, 3 * kCell, 2 * kLine})), (Lines{"aaa", "bbb"}));
    EXPECT_TRUE(Layout("a", {0, 0, 5 * kCell, 0}).empty());
}
