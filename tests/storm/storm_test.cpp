// Event storms over the whole program on the simulated desktop: many seeds,
// each throwing 100,000 random events at run after run of the program.
//
// A failing seed is printed with the event that broke it; replay it alone with
//   BELMORA_STORM_SEED=<seed> ./belmora_storm_tests
// BELMORA_STORM_EVENTS=<n> changes the number of events per seed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

#include "forms/crash/frmBSOD.h"
#include "storm/storm_driver.h"
#include "support/sim_program.h"

using storm::Ending;
using storm::Presence;
using storm::TraceChecker;

namespace {

std::optional<unsigned long long> envNumber(const char* name)
{
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return std::nullopt;
    return std::strtoull(v, nullptr, 0);
}

long long eventsPerSeed() { return static_cast<long long>(envNumber("BELMORA_STORM_EVENTS").value_or(100'000)); }
// Shifts every seed range, for fresh storms beyond the usual ones.
unsigned long long seedBase() { return envNumber("BELMORA_STORM_SEED_BASE").value_or(0); }

struct SeedRange {
    unsigned long long first, count;
};

void PrintTo(const SeedRange& r, std::ostream* os) { *os << "seeds " << r.first << ".." << r.first + r.count - 1; }

class StormSeeds : public testing::TestWithParam<SeedRange> {};

std::string summary(const storm::Stats& s)
{
    std::string out = std::to_string(s.events) + " events (" + std::to_string(s.delivered) + " delivered), " +
                      std::to_string(s.runs) + " runs (" + std::to_string(s.runsOnPage) + " reached the page), " +
                      std::to_string(s.tones) + " tones, " + std::to_string(s.boxes) + " boxes, " +
                      std::to_string(s.virtualMs / 1000) + " virtual s; endings:";
    for (int e = 0; e < static_cast<int>(Ending::Count); ++e)
        out += std::string(" ") + storm::EndingName(Ending(e)) + " " + std::to_string(s.endings[std::size_t(e)]);
    char digest[32];
    std::snprintf(digest, sizeof digest, "; digest %016llx", static_cast<unsigned long long>(s.digest));
    return out + digest;
}

void add(storm::Stats& total, const storm::Stats& s)
{
    total.events += s.events;
    total.delivered += s.delivered;
    total.runs += s.runs;
    total.runsOnPage += s.runsOnPage;
    total.tones += s.tones;
    total.boxes += s.boxes;
    total.virtualMs += s.virtualMs;
    for (std::size_t i = 0; i < total.endings.size(); ++i) total.endings[i] += s.endings[i];
    total.digest ^= s.digest;
}

storm::Stats stormOf(unsigned long long seed, long long events)
{
    storm::SeededSource source(seed);
    storm::Options options;
    options.events = events;
    storm::Storm s(source, options);
    if (!s.run())
        ADD_FAILURE() << "seed " << seed << ": " << s.describeFailure()
                      << "replay: BELMORA_STORM_SEED=" << seed << " BELMORA_STORM_EVENTS=" << events;
    return s.stats();
}

}  // namespace

TEST_P(StormSeeds, EveryEventKeepsTheProgramOnItsDesignedPaths)
{
    const SeedRange range{GetParam().first + seedBase(), GetParam().count};
    const auto replay = envNumber("BELMORA_STORM_SEED");
    if (replay && (*replay < range.first || *replay >= range.first + range.count))
        GTEST_SKIP() << "replaying seed " << *replay << " only";

    const auto started = std::chrono::steady_clock::now();
    storm::Stats total;
    total.digest = 0;
    for (unsigned long long seed = range.first; seed < range.first + range.count; ++seed) {
        if (replay && seed != *replay) continue;
        add(total, stormOf(seed, eventsPerSeed()));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("seeds %llu..%llu: %s; %.1f s\n", range.first, range.first + range.count - 1,
                summary(total).c_str(), seconds);

    // A storm that never reaches the page or an ending proves little.
    if (!replay && !HasFailure() && eventsPerSeed() >= 100'000) {
        EXPECT_GT(total.runsOnPage, total.runs / 4);
        EXPECT_GT(total.ended(Ending::SeventhKey), 0);
        EXPECT_GT(total.ended(Ending::Oops), 0);
        EXPECT_GT(total.ended(Ending::PageClosed), 0);
    }
}

// 48 seeds in groups that ctest can run side by side.
INSTANTIATE_TEST_SUITE_P(Seeds, StormSeeds,
                         testing::Values(SeedRange{1, 6}, SeedRange{7, 6}, SeedRange{13, 6}, SeedRange{19, 6},
                                         SeedRange{25, 6}, SeedRange{31, 6}, SeedRange{37, 6}, SeedRange{43, 6}),
                         [](const testing::TestParamInfo<SeedRange>& info) {
                             return "from" + std::to_string(info.param.first) + "to" +
                                    std::to_string(info.param.first + info.param.count - 1);
                         });

TEST(Storm, ASeedReplaysTheSameStormAndTheFuzzerBytesOfItToo)
{
    storm::Options options;
    options.events = 5000;
    storm::SeededSource a(42), b(42), c(43);
    storm::RecordingSource recorder(a);
    storm::Storm first(recorder, options), again(b, options), other(c, options);
    ASSERT_TRUE(first.run()) << first.describeFailure();
    ASSERT_TRUE(again.run()) << again.describeFailure();
    ASSERT_TRUE(other.run()) << other.describeFailure();
    EXPECT_EQ(first.stats().digest, again.stats().digest);
    EXPECT_EQ(first.stats().runs, again.stats().runs);
    EXPECT_NE(first.stats().digest, other.stats().digest);

    // The recorded bytes make the fuzzer's source throw the same storm.
    const auto& bytes = recorder.bytes();
    storm::ByteSource replayed(bytes.data(), bytes.size());
    storm::Storm fromBytes(replayed, options);
    ASSERT_TRUE(fromBytes.run()) << fromBytes.describeFailure();
    EXPECT_EQ(fromBytes.stats().digest, first.stats().digest);
}

// The fuzzer's finds kept in tests/storm/corpus, each a storm that once broke the program.
TEST(Storm, CommittedFuzzInputsRunClean)
{
    namespace fs = std::filesystem;
    const fs::path corpus = BELMORA_STORM_CORPUS;
#ifdef _WIN32
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "the source tree is not reachable from here";
#endif
    int inputs = 0;
    long long oopsOverGreeting = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        storm::ByteSource source(bytes.data(), bytes.size());
        storm::Storm s(source, storm::FuzzOptions());
        EXPECT_TRUE(s.run()) << entry.path().filename().string() << ": " << s.describeFailure();
        oopsOverGreeting += s.stats().ended(Ending::OopsOverGreeting);
        ++inputs;
    }
    EXPECT_GE(inputs, 3);
    EXPECT_GT(oopsOverGreeting, 0) << "no input takes the overflow box over the greeting to the end";
}

TEST(Storm, BoundedDrawsAreUniformAndInRange)
{
    storm::SeededSource s(1);
    int counts[6] = {};
    for (int i = 0; i < 60'000; ++i) {
        const auto v = s.between(-2, 3);
        ASSERT_GE(v, -2);
        ASSERT_LE(v, 3);
        ++counts[v + 2];
    }
    for (int c : counts) EXPECT_NEAR(c, 10'000, 500);
    EXPECT_EQ(s.between(INT32_MIN, INT32_MIN), INT32_MIN);
    const std::uint8_t bytes[] = {0x34, 0x12, 0xFF};
    storm::ByteSource b(bytes, sizeof bytes);
    EXPECT_EQ(b.below(0x10000), 0x1234u);  // two bytes, little-endian
    EXPECT_FALSE(b.exhausted());
    EXPECT_EQ(b.below(10), 0xFFu % 10);
    EXPECT_TRUE(b.exhausted());
    EXPECT_EQ(b.below(1000), 0u);  // past the end
}

// The recogniser the storms rely on: it must take every designed path and
// refuse what strays from them, or a storm would pass anything.
namespace {

const Presence OnBanner{true, false}, OnPage{false, true}, Both{true, true};
const std::string Greeting = "Auguri fratello BRUNDELMAR\r\rbenvenuto fra di noi";
const std::string Farewell = "Nuovmente Auguri fratello BRUNDELMAR\r\rdi cuore ...da tutti NOI";

// Feeds a checker in order, gathering what it refuses.
struct Feed {
    TraceChecker c;
    std::string refused;

    Feed() { tone(3000, 200, OnBanner); }
    Feed& tone(int f, int ms, Presence p) { return note(c.tone(f, ms, p)); }
    Feed& box(const std::string& prompt, int style, const std::string& title, Presence p)
    {
        return note(c.boxOpened(prompt, style, title, p));
    }
    Feed& closed() { return note(c.boxClosed()); }
    Feed& end(int status, TraceChecker::CloseRequest during = TraceChecker::CloseRequest::None)
    {
        return note(c.ended(status, during));
    }
    Feed& chime(Presence p, int last)
    {
        for (int f : {800, 1300, 1000, 800, 1300, 1000}) tone(f, 100, p);
        return tone(last, 100, p);
    }
    Feed& keys(int n)
    {
        for (int i = 1; i <= n; ++i) {
            tone(400, 300, OnPage);
            if (i != 4) tone(400, 200, OnPage);
        }
        return *this;
    }
    Feed& note(const std::string& e)
    {
        if (!e.empty()) refused += e + "; ";
        return *this;
    }
};

}  // namespace

TEST(StormChecker, TakesTheDesignedPaths)
{
    Feed click;  // the chase, a click, the greeting with the chase behind it, seven keys, the end
    click.tone(70, 10, OnBanner).chime(OnBanner, 800).box(Greeting, 0, "Belmora", OnBanner).tone(70, 10, OnBanner);
    click.closed().keys(6).chime(OnPage, 800).box(Farewell, 16, "BRUNDELMAR entry", OnPage).closed();
    click.chime(OnPage, 500).end(0);
    EXPECT_EQ(click.refused, "");
    EXPECT_EQ(click.c.ending(), Ending::SeventhKey);

    Feed oops;
    oops.box("Overflow", 16, "OOPS!", OnBanner).closed().end(0);
    EXPECT_EQ(oops.refused, "");
    EXPECT_EQ(oops.c.ending(), Ending::Oops);

    Feed race;  // a tick behind the greeting overflows: its box over the greeting, then the end closes both
    race.chime(OnBanner, 800).box(Greeting, 0, "Belmora", OnBanner).tone(70, 10, OnBanner);
    race.box("Overflow", 16, "OOPS!", OnBanner);
    EXPECT_TRUE(race.c.oopsOverGreeting());
    race.closed().end(0).closed();
    EXPECT_EQ(race.refused, "");
    EXPECT_EQ(race.c.ending(), Ending::OopsOverGreeting);

    Feed closed;  // a double-click (no tone), two keys, the page closed
    closed.keys(2).end(0, TraceChecker::CloseRequest::Page);
    EXPECT_EQ(closed.refused, "");
    EXPECT_EQ(closed.c.ending(), Ending::PageClosed);
    EXPECT_EQ(closed.c.presses(), 2);
}

TEST(StormChecker, RefusesStrays)
{
    EXPECT_NE(Feed().keys(3).tone(400, 300, OnPage).tone(400, 200, OnPage).refused, "");  // the fourth is short
    EXPECT_NE(Feed().keys(2).tone(70, 10, OnPage).refused, "");                           // a chase tone on the page
    EXPECT_NE(Feed().keys(5).chime(OnPage, 800).refused, "");  // the closing chime after five presses
    EXPECT_NE(Feed().box("Errore di run-time '6':\r\n\r\nOverflow", 16, "Belmora", OnBanner).refused, "");
    const auto greeting = [] {
        Feed f;
        f.chime(OnBanner, 800).box(Greeting, 0, "Belmora", OnBanner);
        return f;
    };
    EXPECT_NE(greeting().box(Greeting, 0, "Belmora", OnBanner).refused, "");  // a second greeting over it
    // After the overflow box over the greeting, only the end is due: the click
    // must not go on to the page, nor the chase on the banner.
    EXPECT_NE(greeting().box("Overflow", 16, "OOPS!", OnBanner).closed().closed().refused, "");
    EXPECT_NE(greeting().box("Overflow", 16, "OOPS!", OnBanner).closed().tone(70, 10, OnBanner).refused, "");
    EXPECT_NE(greeting().box("Overflow", 16, "OOPS!", OnBanner).box("Overflow", 16, "OOPS!", OnBanner).refused,
              "");
    EXPECT_NE(greeting().box("Overflow", 16, "OOPS!", OnBanner).end(0).refused, "");  // ended under the box
    EXPECT_NE(Feed().chime(OnBanner, 800).tone(70, 10, OnBanner).refused, "");  // a tone where the box was due
    EXPECT_NE(Feed().end(0).refused, "");                                       // an end with no cause
    EXPECT_NE(Feed().keys(1).end(1, TraceChecker::CloseRequest::Page).refused, "");  // status 1
    EXPECT_NE(Feed().box("Overflow", 16, "OOPS!", OnBanner).closed().tone(3000, 200, OnBanner).refused, "");
    EXPECT_NE(Feed().keys(6).chime(OnPage, 800).box(Farewell, 16, "BRUNDELMAR entry", OnPage).closed()
                  .chime(OnPage, 800).refused,
              "");                                                   // the closing chime ends on 500 Hz
    EXPECT_NE(Feed().tone(3000, 200, OnBanner).refused, "");         // the banner loaded again
    EXPECT_NE(Feed().tone(400, 300, Both).refused, "");              // a key while the banner is still there
    EXPECT_NE(Feed().keys(1).box("Overflow", 16, "OOPS!", OnPage).refused, "");  // overflow on the page
}

// Races the storms found, kept as fixed scripts. The banner rests at (0, 0)
// under a cursor at (16, 16); a cursor x of 143,165,577 overflows at the next tick.
TEST(StormRaces, AClickHeldWhenTheOverflowBoxOpensIsNotRaisedUnderIt)
{
    testing_support::SimRun r;
    r.desk.moveCursor(16, 16);
    r.desk.setDoubleClickTime(500);
    r.desk.setResponder([](const sim::Box&) { return 1000LL; });
    r.input(1000, [&] { r.desk.clickAt(10, 10); });              // held until 1500
    r.input(1200, [&] { r.desk.moveCursor(143'165'577, 16); });  // the box is up from 1200 to 2200
    EXPECT_EQ(r.run(), 0);
    ASSERT_EQ(r.desk.boxes().size(), 1u);
    EXPECT_EQ(r.desk.boxes()[0].title, "OOPS!");
    EXPECT_EQ(r.desk.tones().size(), 1u);  // the load tone: no chime
    EXPECT_EQ(r.desk.now(), 2200);         // the overflow path ends the program
}

// Timers tick while a box is up, so the tick that falls due during the chime
// runs once the greeting opens, and its overflow box comes over the greeting.
// Dismissing it unloads the banner, the last form: the program ends there, the
// greeting with it, and the click never goes on to the page.
TEST(StormRaces, AnOverflowBoxOverTheGreetingEndsTheProgramWhenDismissed)
{
    testing_support::SimRun r;
    r.desk.moveCursor(16, 16);
    r.desk.setDoubleClickTime(500);
    r.desk.setResponder([](const sim::Box&) { return 1000LL; });
    r.input(1005, [&] { r.desk.clickAt(10, 10); });              // Click at 1505, between two ticks
    r.input(1503, [&] { r.desk.moveCursor(143'165'577, 16); });  // after the tick at 1500
    // Chime from 1505, greeting up from 2205, the overflow box over it from 2205 to 3205.
    EXPECT_EQ(r.run(), 0);
    ASSERT_EQ(r.desk.boxes().size(), 2u);
    EXPECT_EQ(r.desk.boxes()[0].prompt, "Auguri fratello BRUNDELMAR\r\rbenvenuto fra di noi");
    EXPECT_EQ(r.desk.boxes()[1].title, "OOPS!");
    EXPECT_EQ(r.desk.boxes()[1].at, 2205);
    EXPECT_EQ(r.desk.now(), 3205);
    EXPECT_EQ(r.desk.boxDepth(), 0);
    EXPECT_TRUE(r.desk.windows().empty());
    for (const auto& c : r.desk.changes()) EXPECT_NE(c.caption, "Windows BSOD");
}
