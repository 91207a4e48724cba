#pragma once
// Fonts and text layout for the Qt backend.
//
// Fonts: the family named in a FontSpec is used when the font database has it.
// Otherwise (e.g. "Fixedsys", a Windows bitmap font) a fixed-pitch font is
// substituted and sized to Fixedsys' cell, about 8 x 15 px at 9 pt (scaled for
// other point sizes): Terminus when installed (fonts-terminus, family
// "Terminus (TTF)"), else the system's fixed font. Substitutes are drawn
// without antialiasing, as a bitmap font would be.
//
// Layout: the text is split into lines at CR, LF or CR LF, each line is wrapped
// at spaces to the rectangle's width (a single word wider than the rectangle
// stays whole and is clipped), and each line is aligned on its own. Lines
// follow each other every QFontMetrics::height() pixels from the rectangle's
// top; every line that starts inside the rectangle is laid out, so a last line
// that does not fit whole is shown cut off by the clip (as Windows' DrawText does).
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

#include <string>
#include <vector>

#include "runtime/platform.h"

namespace belmora_qt {

// The font to draw a FontSpec with (results are cached).
QFont ResolveFont(const rt::FontSpec& wanted);

// Breaks one line (no line ends in it) at spaces so each piece fits `width`
// pixels. The spaces where a line breaks are dropped. An empty line stays one
// empty line.
std::vector<QString> WrapLine(const QString& line, const QFontMetrics& metrics, int width);

struct LaidLine {
    QString text;
    QPoint topLeft;  // top-left of the line's cell; the baseline is ascent() below
    int width = 0;   // horizontal advance of the text
};

// Lays out UTF-8 text in `rect` as described above.
std::vector<LaidLine> LayoutText(const std::string& utf8, const QFontMetrics& metrics,
                                 const QRect& rect, rt::Align align);

}  // namespace belmora_qt
