#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// Decides which log lines are written when the same line, or the same short cycle of lines
// (a packet that fails to parse logs an assertion line and "Unable to parse message"), comes
// again and again. The first repetitions are written as they come; once a run has repeated
// kRepeatsWrittenInFull times, further repetitions are only counted, and flush() or the first
// line that breaks the run turns the counts into one line per line of the cycle:
// "Unable to parse message (repeated 49,899 more times)". A flood of identical requests then
// costs neither disk space nor a write per packet.
class RepeatedLineSummary
{
public:
    static constexpr int kRepeatsWrittenInFull = 100;
    static constexpr int kLongestCycle = 8;

    // The longest text a count adds to its line: " (repeated 9,223,372,036,854,775,807 more times)".
    static constexpr std::size_t kLongestCountText = 48;

    explicit RepeatedLineSummary (int repeatsWrittenInFull = kRepeatsWrittenInFull);

    // Takes the next line. Appends to `toWrite` what must be written now, in order: the
    // summary of the run this line ends, if any, then the line itself; nothing when the line
    // continues a run being counted. [one thread at a time]
    void add (const std::string& line, std::vector<std::string>& toWrite);

    // Appends the summary of the repetitions counted so far; the run goes on, and later
    // repetitions are counted afresh. [one thread at a time]
    void flush (std::vector<std::string>& toWrite);

    // True while repetitions have been counted and not yet summarised. [one thread at a time]
    bool holdsBack() const
    {
        return heldBack > 0;
    }

private:
    const std::string& recentLine (int back) const;
    void remember (const std::string& line);
    void forgetHistory();

    const int repeatsWrittenInFull;

    // The last lines written, newest at `newest`, and for each cycle length p how many lines
    // in a row have equalled the line p before them.
    std::array<std::string, kLongestCycle> recent;
    int recentCount = 0;
    int newest = -1;
    std::array<long long, kLongestCycle + 1> matched{};

    // The run being counted: its cycle, oldest line first; empty when there is none.
    std::vector<std::string> cycle;
    std::vector<long long> counts;
    std::size_t phase = 0;
    std::size_t firstHeldPhase = 0;
    long long heldBack = 0;
};
