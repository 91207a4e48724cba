// libFuzzer target: the storm of the simulated desktop, with every choice it
// makes (events, gaps, box delays, screen, double-click time) read from the
// fuzzer's bytes. A fault the storm's checks find aborts, with the events that
// led to it; crashes and sanitizer reports end the run on their own.
//
// BELMORA_FUZZ_WRITE_CORPUS=<dir>: writes seed inputs into <dir>, each the
// bytes of a short seeded storm, and exits.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "storm/storm_driver.h"

namespace {

void writeCorpus(const std::string& dir)
{
    for (std::uint64_t seed = 1; seed <= 24; ++seed) {
        storm::SeededSource seeded(seed);
        storm::RecordingSource recorder(seeded);
        storm::Options o = storm::FuzzOptions();
        o.events = static_cast<long long>(40 + 30 * seed);
        storm::Storm s(recorder, o);
        if (!s.run())
            std::fprintf(stderr, "seed %llu: %s", static_cast<unsigned long long>(seed),
                         s.describeFailure().c_str());
        const std::string path = dir + "/storm-" + std::to_string(seed);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(recorder.bytes().data()),
                  static_cast<std::streamsize>(recorder.bytes().size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* dir = std::getenv("BELMORA_FUZZ_WRITE_CORPUS"); dir != nullptr && *dir != '\0') {
        writeCorpus(dir);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    storm::ByteSource source(data, size);
    storm::Storm s(source, storm::FuzzOptions());
    if (!s.run()) {
        std::fprintf(stderr, "belmora storm fault: %s", s.describeFailure().c_str());
        std::abort();
    }
    return 0;
}
