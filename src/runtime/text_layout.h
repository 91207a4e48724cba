#pragma once
// Text layout shared by every backend. A backend measures runs of text in its
// own font; the rules of where lines end and where they stand are these:
//
// The text is split into lines at CR, LF or CR LF; each line is wrapped at
// spaces to the rectangle's width (a single word wider than the rectangle
// stays whole and is clipped), and each line is aligned on its own. Lines
// follow each other every `lineHeight` pixels from the rectangle's top; every
// line that starts inside the rectangle is laid out, so a last line that does
// not fit whole is shown cut off by the clip (as Windows' DrawText does).
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform.h"

namespace rt {

// Splits a caption or prompt into lines: CR alone, LF alone or CR LF end a line.
std::vector<std::string> SplitLines(const std::string& text);

// The width in pixels of a run of UTF-8 text in the font being laid out.
using MeasureText = std::function<int(std::string_view utf8)>;

// Breaks one line (no line end in it) at spaces so that each piece fits
// `width` pixels. The spaces where the line breaks are dropped; a word wider
// than `width` stays whole on a piece of its own. An empty line stays one
// empty piece.
std::vector<std::string> WrapLine(std::string_view line, int width, const MeasureText& measure);

struct LaidLine {
    std::string text;  // UTF-8
    int x = 0, y = 0;  // top-left of the line's cell
    int width = 0;     // the measured width of the text
};

// Lays out UTF-8 text in `rect` by the rules above.
std::vector<LaidLine> LayoutText(const std::string& utf8, const PixelRect& rect, Align align, int lineHeight,
                                 const MeasureText& measure);

}  // namespace rt
