#pragma once

#include <cstddef>
#include <vector>

// The summary of a set of timings: median, 99th percentile, extremes and count.
class SampleStats
{
public:
    SampleStats() = default;

    // Summarises the samples (any unit); an empty set gives all zeros.
    explicit SampleStats (std::vector<double> samples);

    double median() const
    {
        return med;
    }
    double p99() const
    {
        return percentile99;
    }
    double min() const
    {
        return lowest;
    }
    double max() const
    {
        return highest;
    }
    std::size_t count() const
    {
        return n;
    }

private:
    double med = 0, percentile99 = 0, lowest = 0, highest = 0;
    std::size_t n = 0;
};
