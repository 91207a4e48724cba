#include "runtime/text_layout.h"

#include <algorithm>

namespace rt {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

std::vector<std::string> WrapLine(std::string_view line, int width, const MeasureText& measure)
{
    const std::size_t n = line.size();
    if (n == 0 || measure(line) <= width) return {std::string(line)};

    // A space is one byte in UTF-8 and never part of a longer sequence.
    std::vector<std::string> out;
    auto isSpace = [&](std::size_t i) { return line[i] == ' '; };
    std::size_t pos = 0;
    while (pos < n) {
        // Candidate ends: just after each word (where a run of spaces starts) and the line's end.
        std::size_t fit = 0, firstEnd = 0;
        for (std::size_t e = pos + 1; e <= n; ++e) {
            const bool wordEnds = e == n || (isSpace(e) && !isSpace(e - 1));
            if (!wordEnds) continue;
            if (firstEnd == 0) firstEnd = e;
            if (measure(line.substr(pos, e - pos)) > width) break;
            fit = e;
        }
        const std::size_t end = fit != 0 ? fit : firstEnd;  // a word too wide stays whole
        out.emplace_back(line.substr(pos, end - pos));
        pos = end;
        while (pos < n && isSpace(pos)) ++pos;
    }
    return out;
}

std::vector<LaidLine> LayoutText(const std::string& utf8, const PixelRect& rect, Align align, int lineHeight,
                                 const MeasureText& measure)
{
    std::vector<LaidLine> out;
    lineHeight = std::max(lineHeight, 1);
    int y = rect.y;
    for (const std::string& raw : SplitLines(utf8)) {
        for (std::string& piece : WrapLine(raw, rect.w, measure)) {
            if (y - rect.y >= rect.h) return out;
            LaidLine line;
            line.width = measure(piece);
            line.x = rect.x;
            if (align == Align::Right)
                line.x += rect.w - line.width;
            else if (align == Align::Center)
                line.x += (rect.w - line.width) / 2;
            line.y = y;
            line.text = std::move(piece);
            out.push_back(std::move(line));
            y += lineHeight;
        }
    }
    return out;
}

}  // namespace rt
