#include "logging/RepeatedLineSummary.h"

#include "logging/ThousandsSeparators.h"

RepeatedLineSummary::RepeatedLineSummary (int repeats)
    : repeatsWrittenInFull (repeats)
{
}

void RepeatedLineSummary::add (const std::string& line, std::vector<std::string>& toWrite)
{
    if (!cycle.empty())
    {
        if (line == cycle[phase])
        {
            if (heldBack++ == 0)
                firstHeldPhase = phase;

            ++counts[phase];
            phase = (phase + 1) % cycle.size();
            return;
        }

        flush (toWrite);
        cycle.clear();
        forgetHistory();
    }

    toWrite.push_back (line);

    for (int length = 1; length <= kLongestCycle; ++length)
    {
        const auto index = static_cast<std::size_t> (length);
        matched[index] = length <= recentCount && line == recentLine (length) ? matched[index] + 1 : 0;
    }

    remember (line);

    // The shortest cycle that has repeated often enough is counted from now on.
    for (int length = 1; length <= kLongestCycle; ++length)
    {
        if (matched[static_cast<std::size_t> (length)] < static_cast<long long> (repeatsWrittenInFull) * length)
            continue;

        for (int back = length; back >= 1; --back)
            cycle.push_back (recentLine (back));

        counts.assign (cycle.size(), 0);
        phase = 0;
        heldBack = 0;
        return;
    }
}

void RepeatedLineSummary::flush (std::vector<std::string>& toWrite)
{
    if (heldBack == 0)
        return;

    for (std::size_t step = 0; step < cycle.size(); ++step)
    {
        const auto index = (firstHeldPhase + step) % cycle.size();

        if (counts[index] == 0)
            continue;

        toWrite.push_back (cycle[index] + " (repeated " + withThousandsSeparators (counts[index])
                           + (counts[index] == 1 ? " more time)" : " more times)"));
        counts[index] = 0;
    }

    heldBack = 0;
}

const std::string& RepeatedLineSummary::recentLine (int back) const
{
    return recent[static_cast<std::size_t> ((newest - back + 1 + kLongestCycle) % kLongestCycle)];
}

void RepeatedLineSummary::remember (const std::string& line)
{
    newest = (newest + 1) % kLongestCycle;
    recent[static_cast<std::size_t> (newest)] = line;
    recentCount = recentCount < kLongestCycle ? recentCount + 1 : kLongestCycle;
}

void RepeatedLineSummary::forgetHistory()
{
    recentCount = 0;
    matched.fill (0);
}
