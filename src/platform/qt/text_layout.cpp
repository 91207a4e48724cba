#include "platform/qt/text_layout.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

namespace belmora_qt {

namespace {

// Fixedsys' cell at 9 pt.
constexpr double kCellWidth = 8.0;
constexpr double kCellHeight = 15.0;
constexpr double kCellPoints = 9.0;

// The pixel size of the font's family whose character cell comes closest to
// the target: width first (columns of text must line up as designed; measured
// over a run of characters, so a fractional advance counts), then height;
// among equals, a size the font has hand-made glyphs for (a bitmap strike).
QFont FitCell(QFont font, double points) {
    const double scale = (points > 0 ? points : kCellPoints) / kCellPoints;
    const double wantW = std::max(1.0, std::round(kCellWidth * scale));
    const int wantH = std::max(1, int(std::lround(kCellHeight * scale)));
    const QString family = QFontInfo(font).family();
    const QList<int> strikes = QFontDatabase::smoothSizes(family, QFontDatabase::styles(family).value(0));
    const QString run(100, QLatin1Char('M'));

    int bestSize = wantH;
    std::tuple<double, int, int> best{1e9, 0, 0};
    for (int px = std::max(4, wantH - 6); px <= wantH + 6; ++px) {
        font.setPixelSize(px);
        const QFontMetrics m(font);
        const std::tuple<double, int, int> score{std::abs(m.horizontalAdvance(run) / 100.0 - wantW),
                                                 std::abs(m.height() - wantH),
                                                 strikes.contains(px) ? 0 : 1};
        if (score < best) {
            best = score;
            bestSize = px;
        }
    }
    font.setPixelSize(bestSize);
    return font;
}

QFont SubstituteFont(const rt::FontSpec& wanted) {
    QFont font;
    if (QFontDatabase::hasFamily(QStringLiteral("Terminus")))
        font = QFont(QStringLiteral("Terminus"));
    else if (QFontDatabase::hasFamily(QStringLiteral("Terminus (TTF)")))
        font = QFont(QStringLiteral("Terminus (TTF)"));
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferBitmap));
    font.setWeight(QFont::Weight(std::clamp(wanted.weight, 100, 900)));
    return FitCell(font, wanted.points);
}

}  // namespace

QFont ResolveFont(const rt::FontSpec& wanted) {
    static std::map<std::tuple<std::string, float, int>, QFont> cache;
    const auto key = std::make_tuple(wanted.name, wanted.points, wanted.weight);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;

    QFont font;
    const QString family = QString::fromUtf8(wanted.name);
    if (!family.isEmpty() && QFontDatabase::hasFamily(family)) {
        font = QFont(family);
        font.setPointSizeF(wanted.points > 0 ? wanted.points : kCellPoints);
        font.setWeight(QFont::Weight(std::clamp(wanted.weight, 100, 900)));
    } else {
        font = SubstituteFont(wanted);
    }
    cache.emplace(key, font);
    return font;
}

std::vector<QString> WrapLine(const QString& line, const QFontMetrics& metrics, int width) {
    std::vector<QString> out;
    const int n = int(line.size());
    if (n == 0 || metrics.horizontalAdvance(line) <= width)
        return {line};

    auto isSpace = [&](int i) { return line.at(i) == QLatin1Char(' '); };
    int pos = 0;
    while (pos < n) {
        // Candidate ends: just after each word (before a run of spaces) and the line's end.
        int fit = -1, firstEnd = -1;
        for (int e = pos + 1; e <= n; ++e) {
            const bool wordEnds = e == n || (isSpace(e) && !isSpace(e - 1));
            if (!wordEnds)
                continue;
            if (firstEnd < 0)
                firstEnd = e;
            if (metrics.horizontalAdvance(line.mid(pos, e - pos)) <= width)
                fit = e;
            else
                break;
        }
        const int end = fit >= 0 ? fit : firstEnd;  // a word too wide stays whole
        out.push_back(line.mid(pos, end - pos));
        pos = end;
        while (pos < n && isSpace(pos))
            ++pos;
    }
    return out;
}

std::vector<LaidLine> LayoutText(const std::string& utf8, const QFontMetrics& metrics,
                                 const QRect& rect, rt::Align align) {
    std::vector<LaidLine> out;
    const int lineHeight = std::max(1, metrics.height());
    int y = rect.top();
    for (const std::string& raw : rt::SplitLines(utf8)) {
        for (QString& piece : WrapLine(QString::fromUtf8(raw), metrics, rect.width())) {
            if (y - rect.top() >= rect.height())
                return out;
            LaidLine line;
            line.width = metrics.horizontalAdvance(piece);
            int x = rect.left();
            if (align == rt::Align::Right)
                x = rect.left() + rect.width() - line.width;
            else if (align == rt::Align::Center)
                x = rect.left() + (rect.width() - line.width) / 2;
            line.topLeft = QPoint(x, y);
            line.text = std::move(piece);
            out.push_back(std::move(line));
            y += lineHeight;
        }
    }
    return out;
}

}  // namespace belmora_qt
