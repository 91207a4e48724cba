// Records a sound server's source (a null sink's monitor) as raw S16LE mono
// at 48 kHz until SIGINT or SIGTERM, and notes where the samples were in time.
//
//   belmora_monitor_recorder SOURCE OUT.raw OUT.times
//
// The recording is read in 5 ms pieces. After each read, OUT.times gets a
// line "N T": N samples are recorded so far, and sample N left the source at
// CLOCK_REALTIME T seconds (the time of the read less the latency the record
// stream reports for it). A recorder that falls behind on a busy machine
// reads the samples late, not at the wrong place: the latency it is told
// covers what waits for it.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <signal.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

volatile sig_atomic_t stopped = 0;
void Stop(int) { stopped = 1; }

double RealtimeNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SOURCE OUT.raw OUT.times\n", argv[0]);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = Stop;  // no SA_RESTART: a blocked read returns
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    constexpr int kRate = 48000;
    constexpr std::size_t kPiece = kRate / 200;
    pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(kPiece * sizeof(std::int16_t));
    int err = 0;
    pa_simple* stream = pa_simple_new(nullptr, "belmora-monitor-recorder", PA_STREAM_RECORD, argv[1],
                                      "monitor", &format, nullptr, &attr, &err);
    if (!stream) {
        std::fprintf(stderr, "cannot record %s: %s\n", argv[1], pa_strerror(err));
        return 1;
    }
    FILE* raw = std::fopen(argv[2], "wb");
    FILE* times = std::fopen(argv[3], "w");
    if (!raw || !times) {
        std::perror("belmora_monitor_recorder");
        return 1;
    }
    std::vector<std::int16_t> piece(kPiece);
    unsigned long long count = 0;
    while (!stopped) {
        if (pa_simple_read(stream, piece.data(), piece.size() * sizeof(std::int16_t), &err) < 0) break;
        const double at = RealtimeNow();
        std::fwrite(piece.data(), sizeof(std::int16_t), piece.size(), raw);
        count += piece.size();
        const pa_usec_t latency = pa_simple_get_latency(stream, &err);
        if (latency != pa_usec_t(-1)) std::fprintf(times, "%llu %.6f\n", count, at - double(latency) / 1e6);
        std::fflush(raw);
    }
    std::fclose(raw);
    std::fclose(times);
    pa_simple_free(stream);
    return 0;
}
