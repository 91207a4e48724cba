// Fonts of the Qt backend, and the font metrics its text layout measures with.
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include "platform/qt/text_layout.h"

namespace {

using qt::LayoutText;
using qt::ResolveFont;

const rt::FontSpec kFixedsys{"Fixedsys", 9.0f, 400};

std::vector<QString> Texts(const std::vector<qt::LaidLine>& lines)
{
    std::vector<QString> out;
    for (const auto& line : lines) out.push_back(line.text);
    return out;
}

std::vector<QString> Q(std::initializer_list<const char*> texts)
{
    std::vector<QString> out;
    for (const char* t : texts) out.push_back(QString::fromUtf8(t));
    return out;
}

TEST(QtFonts, MissingFixedsysBecomesAFixedPitchFontWithItsCell)
{
    ASSERT_FALSE(QFontDatabase::hasFamily("Fixedsys")) << "this desktop has Fixedsys itself";
    const QFont font = ResolveFont(kFixedsys);
    const QFontMetrics m(font);
    EXPECT_EQ(m.horizontalAdvance(QLatin1Char('M')), 8);
    EXPECT_EQ(m.horizontalAdvance(QLatin1Char('i')), 8) << "not fixed pitch";
    EXPECT_EQ(m.horizontalAdvance(QStringLiteral("Ciao, gioia!")), 12 * 8);
    EXPECT_GE(m.height(), 14);
    EXPECT_LE(m.height(), 16);
    if (QFontDatabase::hasFamily("Terminus (TTF)") || QFontDatabase::hasFamily("Terminus")) {
        EXPECT_TRUE(QFontInfo(font).family().startsWith("Terminus"))
            << QFontInfo(font).family().toStdString();
    }

    // Twice the points, about twice the cell.
    const QFontMetrics big(ResolveFont(rt::FontSpec{"Fixedsys", 18.0f, 400}));
    EXPECT_GE(big.horizontalAdvance(QLatin1Char('M')), 15);
    EXPECT_LE(big.horizontalAdvance(QLatin1Char('M')), 17);
}

TEST(QtFonts, AnInstalledFamilyIsUsedAsNamed)
{
    ASSERT_TRUE(QFontDatabase::hasFamily("DejaVu Sans"))
        << "DejaVu Sans is not installed (fonts-dejavu-core)";
    const QFont font = ResolveFont(rt::FontSpec{"DejaVu Sans", 12.0f, 700});
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(font.pointSizeF(), 12.0);
    EXPECT_EQ(font.weight(), QFont::Bold);
}

// The layout's rules are the runtime's (tests/runtime/text_layout_test.cpp):
// here, only that the font's own metrics measure and space the lines.
TEST(QtTextLayout, TheFontsMetricsMeasureAndSpaceTheLines)
{
    const QFontMetrics m(ResolveFont(kFixedsys));
    const int cell = m.horizontalAdvance(QLatin1Char('M'));
    const int line = m.height();
    const auto lines =
        LayoutText("uno due tre\nperch\xC3\xA9", m, QRect(10, 20, 7 * cell, 5 * line), rt::Align::Right);
    EXPECT_EQ(Texts(lines), Q({"uno due", "tre", "perch\xC3\xA9"}));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].topLeft, QPoint(10, 20));
    EXPECT_EQ(lines[1].topLeft, QPoint(10 + 4 * cell, 20 + line));
    EXPECT_EQ(lines[2].topLeft, QPoint(10 + cell, 20 + 2 * line));
    EXPECT_EQ(lines[2].width, 6 * cell);
}

}  // namespace
