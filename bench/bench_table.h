#pragma once
// Figures of the benchmarks: order statistics of samples and the table rows
// that scripts/bench.sh gathers from every bench program.
//
// A row is one line on stdout:
//   ROW|figure|median|p95|goal|ok|n
// with the figures already formatted; scripts/bench.sh lines them up.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// The q-quantile (0..1) of the samples, by the nearest-rank rule: the smallest
// sample with at least q of all samples at or below it. NaN-free input.
inline double Quantile(std::vector<double> v, double q)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    std::size_t rank = std::size_t(q * double(v.size()) + 0.999999);
    rank = std::clamp<std::size_t>(rank, 1, v.size());
    return v[rank - 1];
}

inline double Median(const std::vector<double>& v) { return Quantile(v, 0.5); }
inline double P95(const std::vector<double>& v) { return Quantile(v, 0.95); }

// verdict: "ok", "SHORT" (short of its goal), or "-" for a figure with no goal.
inline void Row(const std::string& figure, const std::string& median, const std::string& p95,
                const std::string& goal, const std::string& verdict, std::size_t n)
{
    std::printf("ROW|%s|%s|%s|%s|%s|%zu\n", figure.c_str(), median.c_str(), p95.c_str(), goal.c_str(),
                verdict.c_str(), n);
    std::fflush(stdout);
}

inline std::string Ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", ms);
    return text;
}

// A row for samples in milliseconds with goals on the median and the p95
// (a goal below 0 is "none").
inline void MsRow(const std::string& figure, const std::vector<double>& samples, double medianGoal,
                  double p95Goal)
{
    const double median = Median(samples), p95 = P95(samples);
    std::string goal;
    bool ok = !samples.empty();
    if (medianGoal >= 0) {
        goal += "median <= " + Ms(medianGoal);
        ok = ok && median <= medianGoal;
    }
    if (p95Goal >= 0) {
        goal += std::string(goal.empty() ? "" : ", ") + "p95 <= " + Ms(p95Goal);
        ok = ok && p95 <= p95Goal;
    }
    Row(figure, Ms(median), Ms(p95), goal, ok ? "ok" : "SHORT", samples.size());
}

}  // namespace bench
