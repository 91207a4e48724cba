// The analyser of recorded runs, on recordings made up here: it must find
// the tones a real run makes, and must reject the faults a broken tone engine
// or a broken program would leave in a recording.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tone_analysis.h"

namespace {

using tone_analysis::Compare;
using tone_analysis::Expected;
using tone_analysis::FindTones;
using tone_analysis::HeardTone;
using tone_analysis::WholeRun;

constexpr int kRate = 48000;

// A recording being made up: square waves (high half first), silences.
struct Recording {
    std::vector<std::int16_t> samples;
    int level = 8000;

    Recording& tone(double hz, double ms)
    {
        const auto frames = std::size_t(std::llround(ms * kRate / 1000));
        for (std::size_t i = 0; i < frames; ++i) {
            const auto half = std::uint64_t(double(i) * 2 * hz / kRate);
            samples.push_back(std::int16_t(half % 2 == 0 ? level : -level));
        }
        return *this;
    }
    Recording& silence(double ms)
    {
        samples.insert(samples.end(), std::size_t(std::llround(ms * kRate / 1000)), 0);
        return *this;
    }
    Recording& frames(std::size_t n)
    {
        samples.insert(samples.end(), n, 0);
        return *this;
    }
};

void ExpectTone(const HeardTone& t, double hz, double ms)
{
    EXPECT_NEAR(t.frequencyHz, hz, hz * 0.005) << tone_analysis::Describe(t);
    EXPECT_NEAR(t.lengthMs(kRate), ms, 0.05) << tone_analysis::Describe(t);
    EXPECT_TRUE(t.fullFirstHalf) << tone_analysis::Describe(t);
}

TEST(FindTones, EveryToneOfTheProgramAlone)
{
    for (const auto& [hz, ms] : std::vector<std::pair<int, int>>{{3000, 200},
                                                                 {70, 10},
                                                                 {800, 100},
                                                                 {1300, 100},
                                                                 {1000, 100},
                                                                 {400, 300},
                                                                 {400, 200},
                                                                 {500, 100}}) {
        Recording r;
        r.silence(50).tone(hz, ms).silence(50);
        const auto tones = FindTones(r.samples);
        ASSERT_EQ(tones.size(), 1u) << hz << " Hz";
        ExpectTone(tones[0], hz, ms);
        EXPECT_NEAR(tones[0].startMs(kRate), 50, 0.05);
    }
}

TEST(FindTones, BackToBackTonesSplitWhereTheHalfPeriodChanges)
{
    Recording r;
    r.silence(20);
    for (int hz : {800, 1300, 1000, 800, 1300, 1000, 500}) r.tone(hz, 100);  // no gap at all
    r.silence(20);
    const auto tones = FindTones(r.samples);
    ASSERT_EQ(tones.size(), 7u);
    const int expected[] = {800, 1300, 1000, 800, 1300, 1000, 500};
    for (int i = 0; i < 7; ++i) ExpectTone(tones[i], expected[i], 100);
}

TEST(FindTones, EqualTonesSplitAtTheSmallestGap)
{
    Recording r;
    r.silence(20).tone(400, 300).frames(1).tone(400, 200).silence(20);
    const auto tones = FindTones(r.samples);
    ASSERT_EQ(tones.size(), 2u);
    ExpectTone(tones[0], 400, 300);
    ExpectTone(tones[1], 400, 200);
}

TEST(FindTones, GrowlsShorterThanAPeriodKeepTheirFrequency)
{
    // 10 ms of 70 Hz is 0.7 of a period: one whole high half and a cut low one.
    Recording r;
    for (int i = 0; i < 5; ++i) r.tone(70, 10).frames(3);
    r.silence(10);
    for (int i = 0; i < 3; ++i) r.tone(70, 10);  // back to back: the cut half ends each one
    r.silence(10);
    const auto tones = FindTones(r.samples);
    ASSERT_EQ(tones.size(), 8u);
    for (const auto& t : tones) ExpectTone(t, 70, 10);
}

TEST(FindTones, ATonesCutAtItsStartShowsIt)
{
    Recording whole, cut;
    whole.tone(400, 100);
    cut.silence(20);
    cut.samples.insert(cut.samples.end(), whole.samples.begin() + 20,
                       whole.samples.end());  // a third of a half-period lost
    cut.silence(20);
    const auto tones = FindTones(cut.samples);
    ASSERT_GE(tones.size(), 1u);
    EXPECT_FALSE(tones[0].fullFirstHalf && std::abs(tones[0].lengthMs(kRate) - 100) < 0.05)
        << tone_analysis::Describe(tones[0]);
}

TEST(FindTones, QuietRecordingsAndSilence)
{
    Recording quiet;
    quiet.level = 900;
    quiet.silence(10).tone(1000, 100).silence(10);
    const auto tones = FindTones(quiet.samples);
    ASSERT_EQ(tones.size(), 1u);
    ExpectTone(tones[0], 1000, 100);

    Recording nothing;
    nothing.silence(500);
    for (std::size_t i = 0; i < nothing.samples.size(); i += 7) nothing.samples[i] = std::int16_t(i % 3) - 1;
    EXPECT_TRUE(FindTones(nothing.samples).empty());
}

// A whole run as the program makes it, with the recorder's pauses.
Recording WholeRunRecording(int growls)
{
    Recording r;
    r.silence(300).tone(3000, 200).silence(3);
    for (int i = 0; i < growls; ++i) r.tone(70, 10).frames(2);
    r.silence(900);
    for (int hz : {800, 1300, 1000, 800, 1300, 1000, 800}) r.tone(hz, 100).frames(2);
    r.silence(700);
    for (int key = 1; key <= 6; ++key) {
        r.tone(400, 300).frames(3);
        if (key != 4) r.tone(400, 200);
        r.silence(500);
    }
    for (int hz : {800, 1300, 1000, 800, 1300, 1000, 800}) r.tone(hz, 100).frames(2);
    r.silence(600);
    for (int hz : {800, 1300, 1000, 800, 1300, 1000, 500}) r.tone(hz, 100).frames(2);
    r.silence(400);
    return r;
}

TEST(CompareWholeRun, ARightRunPasses)
{
    const auto problems = Compare(FindTones(WholeRunRecording(40).samples), WholeRun(10));
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

TEST(CompareWholeRun, WrongRunsAreCaught)
{
    const auto heard = FindTones(WholeRunRecording(40).samples);
    auto changed = [&](auto change) {
        auto h = heard;
        change(h);
        return Compare(h, WholeRun(10));
    };
    EXPECT_FALSE(Compare(heard, WholeRun(41)).empty()) << "too few growls";
    EXPECT_FALSE(changed([](auto& h) { h.erase(h.begin()); }).empty()) << "no start-up tone";
    EXPECT_FALSE(changed([](auto& h) { h.pop_back(); }).empty()) << "last closing tone missing";
    EXPECT_FALSE(changed([](auto& h) { h.push_back(h.back()); }).empty()) << "a tone too many";
    EXPECT_FALSE(changed([](auto& h) { std::swap(h[h.size() - 2], h[h.size() - 3]); }).empty()) << "order";
    EXPECT_FALSE(changed([](auto& h) { h.back().frequencyHz *= 1.015; }).empty()) << "1.5 % too high";
    EXPECT_FALSE(changed([](auto& h) { h[0].frames += 3 * kRate / 1000; }).empty()) << "3 ms too long";
    EXPECT_FALSE(changed([](auto& h) { h[5].frames -= 3 * kRate / 1000; }).empty()) << "a growl 3 ms short";
    EXPECT_FALSE(changed([](auto& h) { h[0].fullFirstHalf = false; }).empty()) << "cut at its start";

    // The fourth key gives one tone: a second one there is wrong.
    Recording r = WholeRunRecording(40);
    const auto fourthKeyTwice = FindTones(r.samples);
    auto h = fourthKeyTwice;
    const std::size_t fourth = 1 + 40 + 7 + 3 * 2;  // index of key 4's tone
    ASSERT_NEAR(h[fourth].lengthMs(kRate), 300, 0.05);
    h.insert(h.begin() + long(fourth) + 1, h[fourth - 1]);
    EXPECT_FALSE(Compare(h, WholeRun(10)).empty());

    // A stream that ran dry inside a chime or between a key's two tones
    // stretches the silence there; the growls' pauses are the program's own.
    EXPECT_TRUE(Compare(heard, WholeRun(10), kRate, 1.0).empty());
    auto stretched = heard;
    const std::size_t chimeTone = 1 + 40 + 3;
    for (std::size_t k = chimeTone; k < stretched.size(); ++k) stretched[k].start += 5 * kRate / 1000;
    const auto gaps = Compare(stretched, WholeRun(10), kRate, 4.0);
    ASSERT_EQ(gaps.size(), 1u) << ::testing::PrintToString(gaps);
    EXPECT_NE(gaps[0].find("chime of the click"), std::string::npos) << gaps[0];
    EXPECT_TRUE(Compare(stretched, WholeRun(10), kRate, 6.0).empty()) << "within the bound";
    auto growlPause = heard;
    for (std::size_t k = 10; k < growlPause.size(); ++k) growlPause[k].start += 20 * kRate / 1000;
    EXPECT_TRUE(Compare(growlPause, WholeRun(10), kRate, 1.0).empty()) << "a longer pause between growls";

    // Small faults stay within the tolerances: 1.5 ms, 0.8 %.
    EXPECT_TRUE(changed([](auto& h) {
                    h[0].frames += 72;
                    h.back().frequencyHz *= 1.008;
                }).empty());
}

}  // namespace
