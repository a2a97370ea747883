#include "FigureTable.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

std::string FigureTable::format (double value, int decimals)
{
    char text[64];
    std::snprintf (text, sizeof (text), "%.*f", decimals, value);
    return text;
}

void FigureTable::addTiming (const std::string& figure, const SampleStats& stats, const std::string& unit,
                             const std::string& target, Verdict verdict)
{
    const int decimals = stats.median() < 10.0 ? 2 : 1;
    std::ostringstream value;
    value << "median " << format (stats.median(), decimals) << " " << unit << "  p99 " << format (stats.p99(), decimals)
          << "  min " << format (stats.min(), decimals) << "  max " << format (stats.max(), decimals) << "  (n=" << stats.count()
          << ")";
    rows.push_back ({figure, value.str(), target, verdict, false});
}

void FigureTable::addValue (const std::string& figure, const std::string& value, const std::string& target, Verdict verdict)
{
    rows.push_back ({figure, value, target, verdict, false});
}

void FigureTable::addBroken (const std::string& figure, const std::string& what)
{
    broken = true;
    rows.push_back ({figure, "BROKEN: " + what, {}, Verdict::missed, false});
}

void FigureTable::addNote (const std::string& note)
{
    rows.push_back ({{}, note, {}, Verdict::none, true});
}

int FigureTable::missedCount() const
{
    return static_cast<int> (std::count_if (rows.begin(), rows.end(), [] (const Row& row)
                                            { return row.verdict == Verdict::missed; }));
}

void FigureTable::print() const
{
    std::size_t figureWidth = 6, valueWidth = 5;

    for (const auto& row : rows)
    {
        if (row.isNote)
            continue;

        figureWidth = std::max (figureWidth, row.figure.size());
        valueWidth = std::max (valueWidth, row.value.size());
    }

    auto verdictText = [] (Verdict verdict)
    {
        switch (verdict)
        {
            case Verdict::met:
                return "met";
            case Verdict::missed:
                return "MISSED";
            case Verdict::none:
                break;
        }
        return "";
    };

    std::printf ("%-*s | %-*s | %s\n", static_cast<int> (figureWidth), "figure", static_cast<int> (valueWidth), "value",
                 "target");
    std::printf ("%s\n", std::string (figureWidth + valueWidth + 30, '-').c_str());

    for (const auto& row : rows)
    {
        if (row.isNote)
        {
            std::printf ("%-*s   %s\n", static_cast<int> (figureWidth), "", row.value.c_str());
            continue;
        }

        std::printf ("%-*s | %-*s | %s %s\n", static_cast<int> (figureWidth), row.figure.c_str(), static_cast<int> (valueWidth),
                     row.value.c_str(), row.target.c_str(), verdictText (row.verdict));
    }

    std::fflush (stdout);
}
