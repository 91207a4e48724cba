#include "platform/qt/text_layout.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

namespace qt {

namespace {

// Fixedsys' cell at 9 pt.
constexpr double kCellWidth = 8.0;
constexpr double kCellHeight = 15.0;
constexpr double kCellPoints = 9.0;

// The pixel size of the font's family whose character cell comes closest to
// the target: width first (columns of text must line up as designed; measured
// over a run of characters, so a fractional advance counts), then height;
// among equals, a size the font has hand-made glyphs for (a bitmap strike).
QFont FitCell(QFont font, double points)
{
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
                                                 std::abs(m.height() - wantH), strikes.contains(px) ? 0 : 1};
        if (score < best) {
            best = score;
            bestSize = px;
        }
    }
    font.setPixelSize(bestSize);
    return font;
}

QFont SubstituteFont(const rt::FontSpec& wanted)
{
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

QFont ResolveFont(const rt::FontSpec& wanted)
{
    static std::map<std::tuple<std::string, float, int>, QFont> cache;
    const auto key = std::make_tuple(wanted.name, wanted.points, wanted.weight);
    if (auto it = cache.find(key); it != cache.end()) return it->second;

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

std::vector<LaidLine> LayoutText(const std::string& utf8, const QFontMetrics& metrics, const QRect& rect,
                                 rt::Align align)
{
    const rt::MeasureText measure = [&metrics](std::string_view text) {
        return metrics.horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    };
    std::vector<LaidLine> out;
    for (rt::LaidLine& laid : rt::LayoutText(utf8, {rect.x(), rect.y(), rect.width(), rect.height()}, align,
                                             metrics.height(), measure))
        out.push_back({QString::fromUtf8(laid.text), QPoint(laid.x, laid.y), laid.width});
    return out;
}

}  // namespace qt
