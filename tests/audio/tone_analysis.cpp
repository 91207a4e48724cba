#include "tone_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tone_analysis {

namespace {

struct Run {
    int sign = 0;  // +1, -1, or 0 for silence
    std::size_t start = 0, length = 0;
};

std::vector<Run> Runs(const std::vector<std::int16_t>& samples, int threshold)
{
    std::vector<Run> runs;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int v = samples[i];
        const int sign = v > threshold ? 1 : v < -threshold ? -1 : 0;
        if (runs.empty() || runs.back().sign != sign)
            runs.push_back({sign, i, 1});
        else
            ++runs.back().length;
    }
    return runs;
}

// How far a half-period may stray from the tone's own: a sample either way
// (half-periods of most frequencies fall on one of two whole lengths), more
// for long ones.
double Tolerance(double halfPeriod) { return std::max(1.5, 0.03 * halfPeriod); }

// Splits a stretch of sound (runs with no silence in between) into tones.
void SplitStretch(const std::vector<Run>& runs, std::size_t from, std::size_t to, int rate,
                  std::vector<HeardTone>& out)
{
    std::size_t i = from;
    while (i < to) {
        double sum = double(runs[i].length);
        int whole = 1;
        std::size_t j = i + 1;
        while (j < to) {
            const double half = sum / whole;
            const double length = double(runs[j].length);
            if (std::abs(length - half) <= Tolerance(half)) {
                sum += length;
                ++whole;
                ++j;
                continue;
            }
            if (length < half) {
                // A higher tone goes on with runs like this one; otherwise the
                // tone ended in the middle of a half-period.
                const bool higherTone =
                    j + 1 < to && std::abs(double(runs[j + 1].length) - length) <= Tolerance(length);
                if (!higherTone) ++j;
            }
            break;
        }
        HeardTone tone;
        tone.start = runs[i].start;
        tone.frames = runs[j - 1].start + runs[j - 1].length - runs[i].start;
        tone.halfPeriods = whole;
        const double half = sum / whole;
        tone.frequencyHz = rate / (2.0 * half);
        // A tone cut at its start begins with a short half-period; with one
        // whole half-period only, its length is all there is to go by.
        tone.fullFirstHalf = std::abs(double(runs[i].length) - half) <= Tolerance(half);
        out.push_back(tone);
        i = j;
    }
}

}  // namespace

std::vector<HeardTone> FindTones(const std::vector<std::int16_t>& samples, const Options& options)
{
    int threshold = options.threshold;
    if (threshold <= 0) {
        int peak = 0;
        for (std::int16_t v : samples) peak = std::max(peak, std::abs(int(v)));
        threshold = std::max(peak / 2, 64);  // digital silence and dither stay silence
    }
    const std::vector<Run> runs = Runs(samples, threshold);
    std::vector<HeardTone> tones;
    std::size_t i = 0;
    while (i < runs.size()) {
        if (runs[i].sign == 0) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < runs.size() && runs[j].sign != 0) ++j;
        SplitStretch(runs, i, j, options.rate, tones);
        i = j;
    }
    return tones;
}

std::vector<Expected> WholeRun(int minGrowls)
{
    std::vector<Expected> e;
    auto tone = [&](int f, int ms, const std::string& what) { e.push_back({f, ms, 1, false, what}); };
    auto chime = [&](int last, const std::string& what) {
        for (int f : {800, 1300, 1000, 800, 1300, 1000}) tone(f, 100, what);
        tone(last, 100, what);
    };
    tone(3000, 200, "start-up tone");
    e.push_back({70, 10, minGrowls, true, "growl of the chase"});
    chime(800, "chime of the click");
    for (int key = 1; key <= 6; ++key) {
        const std::string what = "key " + std::to_string(key);
        tone(400, 300, what);
        if (key != 4) tone(400, 200, what);
    }
    chime(800, "chime of key 7");
    chime(500, "closing tones");
    return e;
}

std::string Describe(const HeardTone& tone, int rate)
{
    char text[160];
    std::snprintf(text, sizeof text, "%.1f Hz for %.2f ms at %.1f ms%s", tone.frequencyHz,
                  tone.lengthMs(rate), tone.startMs(rate), tone.fullFirstHalf ? "" : " (cut at its start)");
    return text;
}

std::vector<std::string> Compare(const std::vector<HeardTone>& heard, const std::vector<Expected>& expected,
                                 int rate, double maxGapMs)
{
    std::vector<std::string> problems;
    auto matches = [&](const HeardTone& t, const Expected& e) {
        return std::abs(t.frequencyHz - e.frequencyHz) <= 0.01 * e.frequencyHz &&
               std::abs(t.lengthMs(rate) - e.lengthMs) <= 2.0 && t.fullFirstHalf;
    };
    auto expectation = [](const Expected& e) {
        return e.what + " (" + std::to_string(e.frequencyHz) + " Hz, " + std::to_string(e.lengthMs) + " ms)";
    };
    std::size_t h = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const Expected& e = expected[k];
        const bool backToBack = maxGapMs >= 0 && k > 0 && !e.repeats && !expected[k - 1].repeats &&
                                expected[k - 1].what == e.what && h > 0 && h < heard.size();
        if (backToBack && matches(heard[h], e)) {
            const double gap =
                (double(heard[h].start) - double(heard[h - 1].start + heard[h - 1].frames)) * 1000.0 / rate;
            if (gap > maxGapMs)
                problems.push_back(e.what + ": " + std::to_string(gap) + " ms of silence before " +
                                   Describe(heard[h], rate) + " (at most " + std::to_string(maxGapMs) + ")");
        }
        int count = 0;
        while (h < heard.size() && (count == 0 || e.repeats) && matches(heard[h], e)) {
            ++count;
            ++h;
        }
        if (count >= e.atLeast) continue;
        if (e.repeats && count > 0)
            problems.push_back("only " + std::to_string(count) + " of at least " + std::to_string(e.atLeast) +
                               " x " + expectation(e));
        else
            problems.push_back("expected " + expectation(e) + ", heard " +
                               (h < heard.size() ? Describe(heard[h], rate) : std::string("nothing more")));
        return problems;  // past a mismatch the order is lost
    }
    for (; h < heard.size(); ++h) problems.push_back("unexpected tone: " + Describe(heard[h], rate));
    return problems;
}

}  // namespace tone_analysis
