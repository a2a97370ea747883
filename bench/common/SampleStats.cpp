#include "SampleStats.h"

#include <algorithm>
#include <cmath>

namespace
{
// Nearest-rank percentile of sorted samples.
double percentileOfSorted (const std::vector<double>& sorted, double fraction)
{
    const auto rank = static_cast<std::size_t> (std::ceil (fraction * static_cast<double> (sorted.size())));
    return sorted[std::min (sorted.size() - 1, rank > 0 ? rank - 1 : 0)];
}
} // namespace

SampleStats::SampleStats (std::vector<double> samples)
    : n (samples.size())
{
    if (samples.empty())
        return;

    std::sort (samples.begin(), samples.end());
    const auto mid = samples.size() / 2;
    med = samples.size() % 2 == 1 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2.0;
    percentile99 = percentileOfSorted (samples, 0.99);
    lowest = samples.front();
    highest = samples.back();
}
