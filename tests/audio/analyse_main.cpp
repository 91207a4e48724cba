// Checks a recording of a whole run of Belmora (raw S16LE mono) against the
// tones the run must make, and prints what was heard.
//
//   belmora_tone_analyser [--min-growls N] [--max-gap-ms MS] [--list] RECORDING.raw
//
// --max-gap-ms: at most that much silence between the tones the program plays
// back to back (a chime's, a key's two).
//
// Exit status 0 when every tone is there, in order, as long and as high as it
// should be; 1 otherwise; 2 when the recording cannot be read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tone_analysis.h"

int main(int argc, char** argv)
{
    int minGrowls = 10;
    double maxGapMs = -1;
    bool list = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--min-growls") && i + 1 < argc)
            minGrowls = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--max-gap-ms") && i + 1 < argc)
            maxGapMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--list"))
            list = true;
        else
            path = argv[i];
    }
    if (!path) {
        std::fprintf(stderr, "usage: %s [--min-growls N] [--max-gap-ms MS] [--list] RECORDING.raw\n", argv[0]);
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
    return problems.empty() ? 0 : 1;
}
