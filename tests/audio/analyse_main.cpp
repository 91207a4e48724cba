// Checks a recording of a whole run of Belmora (raw S16LE mono) against the
// tones the run must make, and prints what was heard.
//
//   belmora_tone_analyser [--min-growls N] [--max-gap-ms MS] [--list] RECORDING.raw
//
// --max-gap-ms: at most that much silence between the tones the program plays
// back to back (a chime's, a key's two).
// --times FILE --presses FILE --max-press-ms MS: with the recorder's time map
// (belmora_monitor_recorder's OUT.times) and the times of the key presses
// (CLOCK_REALTIME seconds, one a line), the time from each press to the onset
// of the next tone heard; the median must be at most MS.
//
// Exit status 0 when every tone is there, in order, as long and as high as it
// should be; 1 otherwise; 2 when the recording cannot be read.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tone_analysis.h"

namespace {

// For each press, the time to the onset of the first tone heard after it, in
// ms. Where a recorded sample was in time comes from the recorder's map: the
// median, over the reads within a second of it, of where each read puts it.
std::vector<double> PressToSound(const std::vector<tone_analysis::HeardTone>& heard, const char* timesPath,
                                 const char* pressesPath)
{
    std::vector<std::pair<double, double>> map;  // sample count, its time
    std::ifstream times(timesPath);
    for (double n, t; times >> n >> t;) map.emplace_back(n, t);
    const auto timeOf = [&](std::size_t sample) {
        std::vector<double> at;
        for (const auto& [n, t] : map)
            if (std::abs(n - double(sample)) <= 48000) at.push_back(t + (double(sample) - n) / 48000);
        if (at.empty()) return 0.0;
        std::nth_element(at.begin(), at.begin() + long(at.size() / 2), at.end());
        return at[at.size() / 2];
    };
    std::vector<double> result;
    std::ifstream presses(pressesPath);
    for (double press; presses >> press;) {
        double after = 1e9;
        for (const auto& tone : heard) {
            const double t = timeOf(tone.start);
            if (t >= press) {
                after = (t - press) * 1000;
                break;
            }
        }
        result.push_back(after);
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    int minGrowls = 10;
    double maxGapMs = -1, maxPressMs = -1;
    const char* timesPath = nullptr;
    const char* pressesPath = nullptr;
    bool list = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--min-growls") && i + 1 < argc)
            minGrowls = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--max-gap-ms") && i + 1 < argc)
            maxGapMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--times") && i + 1 < argc)
            timesPath = argv[++i];
        else if (!std::strcmp(argv[i], "--presses") && i + 1 < argc)
            pressesPath = argv[++i];
        else if (!std::strcmp(argv[i], "--max-press-ms") && i + 1 < argc)
            maxPressMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--list"))
            list = true;
        else
            path = argv[i];
    }
    if (!path) {
        std::fprintf(stderr,
                     "usage: %s [--min-growls N] [--max-gap-ms MS] [--times F --presses F --max-press-ms MS] "
                     "[--list] RECORDING.raw\n",
                     argv[0]);
        return 2;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 2;
    }
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);

    const auto heard = tone_analysis::FindTones(samples);
    const auto problems = tone_analysis::Compare(heard, tone_analysis::WholeRun(minGrowls), 48000, maxGapMs);
    std::printf("%.2f s recorded, %zu tones heard\n", samples.size() / 48000.0, heard.size());
    if (list || !problems.empty()) {
        // Runs of growls are summed up: a whole chase makes hundreds.
        for (std::size_t i = 0; i < heard.size(); ++i) {
            std::size_t j = i;
            while (j + 1 < heard.size() && std::abs(heard[j + 1].frequencyHz - 70) < 1 &&
                   std::abs(heard[i].frequencyHz - 70) < 1 &&
                   std::abs(heard[j + 1].lengthMs(48000) - 10) <= 2 &&
                   std::abs(heard[i].lengthMs(48000) - 10) <= 2)
                ++j;
            if (j > i + 1) {
                std::printf("  %4zu-%-4zu %zu growls from %.1f ms\n", i + 1, j + 1, j - i + 1,
                            heard[i].startMs(48000));
                i = j;
            } else {
                std::printf("  %4zu      %s\n", i + 1, tone_analysis::Describe(heard[i]).c_str());
            }
        }
    }
    for (const std::string& p : problems) std::printf("PROBLEM: %s\n", p.c_str());
    if (problems.empty()) std::printf("all tones of the run heard, in order\n");
    bool late = false;
    if (timesPath && pressesPath) {
        const auto presses = PressToSound(heard, timesPath, pressesPath);
        std::vector<double> sorted = presses;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t k = 0; k < presses.size(); ++k)
            std::printf("key %zu: its tone %.1f ms after the press\n", k + 1, presses[k]);
        const double median = sorted.empty() ? 1e9 : sorted[(sorted.size() - 1) / 2];
        std::printf("key press to sound: median %.1f ms\n", median);
        late = maxPressMs >= 0 && median > maxPressMs;
        if (late)
            std::printf("PROBLEM: a key's tone came %.1f ms after the press (median; at most %.1f)\n", median,
                        maxPressMs);
    }
    return problems.empty() && !late ? 0 : 1;
}
