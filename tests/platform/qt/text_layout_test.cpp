// Fonts and text layout of the Qt backend.
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include "platform/qt/text_layout.h"

namespace {

using belmora_qt::LayoutText;
using belmora_qt::ResolveFont;
using belmora_qt::WrapLine;

const rt::FontSpec kFixedsys{"Fixedsys", 9.0f, 400};

std::vector<QString> Texts(const std::vector<belmora_qt::LaidLine>& lines) {
    std::vector<QString> out;
    for (const auto& line : lines)
        out.push_back(line.text);
    return out;
}

std::vector<QString> Q(std::initializer_list<const char*> texts) {
    std::vector<QString> out;
    for (const char* t : texts)
        out.push_back(QString::fromUtf8(t));
    return out;
}

TEST(QtFonts, MissingFixedsysBecomesAFixedPitchFontWithItsCell) {
    ASSERT_FALSE(QFontDatabase::hasFamily("Fixedsys")) << "this desktop has Fixedsys itself";
    const QFont font = ResolveFont(kFixedsys);
    const QFontMetrics m(font);
    EXPECT_EQ(m.horizontalAdvance(QLatin1Char('M')), 8);
    EXPECT_EQ(m.horizontalAdvance(QLatin1Char('i')), 8) << "not fixed pitch";
    EXPECT_EQ(m.horizontalAdvance(QStringLiteral("Ciao, gioia!")), 12 * 8);
    EXPECT_GE(m.height(), 14);
    EXPECT_LE(m.height(), 16);
    if (QFontDatabase::hasFamily("Terminus (TTF)") || QFontDatabase::hasFamily("Terminus")) {
        EXPECT_TRUE(QFontInfo(font).family().startsWith("Terminus")) << QFontInfo(font).family().toStdString();
    }

    // Twice the points, about twice the cell.
    const QFontMetrics big(ResolveFont(rt::FontSpec{"Fixedsys", 18.0f, 400}));
    EXPECT_GE(big.horizontalAdvance(QLatin1Char('M')), 15);
    EXPECT_LE(big.horizontalAdvance(QLatin1Char('M')), 17);
}

TEST(QtFonts, AnInstalledFamilyIsUsedAsNamed) {
    if (!QFontDatabase::hasFamily("DejaVu Sans"))
        GTEST_SKIP() << "DejaVu Sans is not installed";
    const QFont font = ResolveFont(rt::FontSpec{"DejaVu Sans", 12.0f, 700});
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(font.pointSizeF(), 12.0);
    EXPECT_EQ(font.weight(), QFont::Bold);
}

class QtTextLayout : public ::testing::Test {
protected:
    QFontMetrics m{ResolveFont(kFixedsys)};
    int cell = m.horizontalAdvance(QLatin1Char('M'));
    int line = m.height();
};

TEST_F(QtTextLayout, LinesWrapAtSpacesAndDropTheSpacesOfTheBreak) {
    EXPECT_EQ(WrapLine("uno due tre", m, 7 * cell), Q({"uno due", "tre"}));
    EXPECT_EQ(WrapLine("uno due tre", m, 6 * cell), Q({"uno", "due", "tre"}));
    EXPECT_EQ(WrapLine("uno    due", m, 5 * cell), Q({"uno", "due"}));
    EXPECT_EQ(WrapLine("  uno due", m, 5 * cell), Q({"  uno", "due"})) << "leading spaces belong to the text";
    EXPECT_EQ(WrapLine("uno due tre", m, 11 * cell), Q({"uno due tre"}));
    EXPECT_EQ(WrapLine("", m, 5 * cell), Q({""})) << "an empty line still takes its place";
}

TEST_F(QtTextLayout, AWordWiderThanTheRectangleStaysWhole) {
    EXPECT_EQ(WrapLine("precipitevolissimevolmente ok", m, 5 * cell),
              Q({"precipitevolissimevolmente", "ok"}));
    EXPECT_EQ(WrapLine("ab cdefgh", m, 4 * cell), Q({"ab", "cdefgh"}));
}

TEST_F(QtTextLayout, LineEndsStartNewLinesOneBelowTheOther) {
    const QRect rect(10, 20, 40 * cell, 10 * line);
    const auto lines = LayoutText("uno\r\ndue\rtre\nquattro\n\ncinque", m, rect, rt::Align::Left);
    EXPECT_EQ(Texts(lines), Q({"uno", "due", "tre", "quattro", "", "cinque"}));
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].topLeft, QPoint(10, 20 + int(i) * line)) << i;
}

TEST_F(QtTextLayout, EachLineIsAlignedOnItsOwn) {
    const QRect rect(0, 0, 10 * cell, 5 * line);
    const auto right = LayoutText("ab\nabcd", m, rect, rt::Align::Right);
    ASSERT_EQ(right.size(), 2u);
    EXPECT_EQ(right[0].topLeft.x(), 8 * cell);
    EXPECT_EQ(right[1].topLeft.x(), 6 * cell);
    EXPECT_EQ(right[1].width, 4 * cell);

    const auto centre = LayoutText("ab\nabcd", m, rect, rt::Align::Center);
    EXPECT_EQ(centre[0].topLeft.x(), 4 * cell);
    EXPECT_EQ(centre[1].topLeft.x(), 3 * cell);

    const auto wrapped = LayoutText("aaaa bb", m, QRect(0, 0, 5 * cell, 5 * line), rt::Align::Right);
    ASSERT_EQ(wrapped.size(), 2u);
    EXPECT_EQ(wrapped[0].topLeft.x(), cell);
    EXPECT_EQ(wrapped[1].topLeft.x(), 3 * cell);
}

TEST_F(QtTextLayout, LinesStartingBelowTheRectangleAreLeftOut) {
    // Two whole lines and part of a third fit: the third is laid out (and cut by the clip).
    const auto lines = LayoutText("a\nb\nc\nd", m, QRect(0, 0, 5 * cell, 2 * line + line / 2), rt::Align::Left);
    EXPECT_EQ(Texts(lines), Q({"a", "b", "c"}));
    EXPECT_TRUE(LayoutText("a", m, QRect(0, 0, 5 * cell, 0), rt::Align::Left).empty());
}

}  // namespace
