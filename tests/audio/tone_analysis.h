#pragma once
// Reads the tones out of a recording of Belmora's square waves: where each
// one starts, how long it lasts and its frequency, from the lengths of its
// half-periods (the runs of samples on one side of zero).
//
// Tones are told apart by silence (any sample near zero between them) and,
// when nothing separates them, by a change of half-period: a run longer or
// shorter than the tone's own starts the next tone, except a shorter run that
// closes the tone (a tone ends wherever its length falls, often within a
// half-period).
#include <cstdint>
#include <string>
#include <vector>

namespace tone_analysis {

struct HeardTone {
    std::size_t start = 0;      // first frame
    std::size_t frames = 0;     // length in frames
    double frequencyHz = 0;     // from its whole half-periods
    int halfPeriods = 0;        // whole half-periods heard
    bool fullFirstHalf = true;  // its first half-period is as long as the others
    double startMs(int rate) const { return start * 1000.0 / rate; }
    double lengthMs(int rate) const { return frames * 1000.0 / rate; }
};

struct Options {
    int rate = 48000;
    // Samples within this of zero are silence; 0: half the loudest sample.
    int threshold = 0;
};

std::vector<HeardTone> FindTones(const std::vector<std::int16_t>& samples, const Options& options = {});

// One expected tone, or a run of at least `atLeast` equal tones (atLeast > 1).
struct Expected {
    int frequencyHz = 0;
    int lengthMs = 0;
    int atLeast = 1;
    bool repeats = false;
    std::string what;  // for messages: "start-up tone", "growl"...
};

// The tones of a whole run of the program, in order: the start-up tone, the
// growls of the chase while the cursor is out of reach, the chime of the
// click, the two tones of each counted key and the one of the fourth, the
// chime of the seventh key and the closing tones.
std::vector<Expected> WholeRun(int minGrowls);

// Matches what was heard with what was expected: frequencies within 1 %,
// lengths within 2 ms, the order exact, no tone clipped at its start; with
// maxGapMs >= 0, also no more silence than that between the tones the program
// plays back to back (those of one `what`: a chime, a key's two tones), which
// a stream that ran dry between them would stretch.
// Returns the problems found, none when all is well.
std::vector<std::string> Compare(const std::vector<HeardTone>& heard, const std::vector<Expected>& expected,
                                 int rate = 48000, double maxGapMs = -1);

std::string Describe(const HeardTone& tone, int rate = 48000);

}  // namespace tone_analysis
