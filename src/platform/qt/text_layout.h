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
// Layout: the runtime's rules (runtime/text_layout.h), with text measured by
// QFontMetrics::horizontalAdvance and lines QFontMetrics::height() apart.
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

#include <string>
#include <vector>

#include "runtime/text_layout.h"

namespace qt {

// The font to draw a FontSpec with (results are cached).
QFont ResolveFont(const rt::FontSpec& wanted);

struct LaidLine {
    QString text;
    QPoint topLeft;  // top-left of the line's cell; the baseline is ascent() below
    int width = 0;   // horizontal advance of the text
};

// Lays out UTF-8 text in `rect` by the runtime's rules, measured with `metrics`.
std::vector<LaidLine> LayoutText(const std::string& utf8, const QFontMetrics& metrics, const QRect& rect,
                                 rt::Align align);

}  // namespace qt
