#pragma once

#include <string>
#include <vector>

#include "SampleStats.h"

// Collects the benchmark's figures as rows and prints them as one aligned table, each with
// its target and whether the run met it.
class FigureTable
{
public:
    enum class Verdict
    {
        none,
        met,
        missed
    };

    // A timing figure: median, p99, min and max in the given unit.
    void addTiming (const std::string& figure, const SampleStats& stats, const std::string& unit,
                    const std::string& target = {}, Verdict verdict = Verdict::none);

    // A single value, such as a ratio, a rate or a size, with an optional note.
    void addValue (const std::string& figure, const std::string& value, const std::string& target = {},
                   Verdict verdict = Verdict::none);

    // A figure the benchmark could not measure because the system under test misbehaved
    // (a request unanswered, an item not placed): the program then fails.
    void addBroken (const std::string& figure, const std::string& what);

    bool isBroken() const
    {
        return broken;
    }

    // A line of explanation under the last figure.
    void addNote (const std::string& note);

    void print() const;

    int missedCount() const;

    static Verdict verdictOf (bool met)
    {
        return met ? Verdict::met : Verdict::missed;
    }

    static std::string format (double value, int decimals = 1);

private:
    struct Row
    {
        std::string figure, value, target;
        Verdict verdict = Verdict::none;
        bool isNote = false;
    };

    std::vector<Row> rows;
    bool broken = false;
};
