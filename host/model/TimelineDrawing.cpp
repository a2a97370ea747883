#include "TimelineDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace reaper_host
{
namespace
{
constexpr int labelWidth = 14;

std::string fixed (double value, int decimals = 3)
{
    char buffer[64];
    std::snprintf (buffer, sizeof (buffer), "%.*f", decimals, value);
    return buffer;
}

std::string decibels (double gain)
{
    if (gain <= 0)
        return "-inf dB";

    return fixed (20.0 * std::log10 (gain), 1) + " dB";
}

std::string padded (std::string text, size_t width)
{
    if (text.size() > width)
        text = text.substr (0, width);

    return text + std::string (width - text.size(), ' ');
}

// Seconds per ruler division: 1, 2 or 5 times a power of ten, so that about eight
// divisions cover the drawing.
double rulerStep (double span)
{
    const double rough = span / 8.0;
    const double power = std::pow (10.0, std::floor (std::log10 (rough)));

    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= rough)
            return factor * power;

    return 10.0 * power;
}

// What the drawing shows: 0 to a little past the last thing of interest.
double drawingEnd (HostModel& model)
{
    auto& project = model.project();
    double end = std::max ({10.0, project.cursor, project.timeSelection.end});

    for (auto* item : model.allItems())
        end = std::max (end, item->position + item->length);

    return end * 1.1;
}

class Canvas
{
public:
    Canvas (double endSeconds, int columns)
        : end (endSeconds)
        , width (columns)
    {
    }

    int column (double seconds) const
    {
        const double x = std::floor (seconds / end * width);
        return (int) std::clamp (x, 0.0, (double) width - 1);
    }

    std::string ruler (const TimeRange& selection) const
    {
        const double step = rulerStep (end);
        std::string numbers (width + 8, ' ');
        std::string ticks (width, '-');

        if (selection.end > selection.start)
            for (int c = column (selection.start); c <= column (selection.end); ++c)
                ticks[(size_t) c] = '=';

        for (double t = 0; t < end; t += step)
        {
            const auto c = (size_t) column (t);
            ticks[c] = '|';
            auto label = fixed (t, step < 1 ? 1 : 0);
            numbers.replace (c, label.size(), label);
        }

        return std::string (labelWidth, ' ') + numbers + "\n" + std::string (labelWidth, ' ') + ticks + "\n";
    }

    std::string lane (const Track& track, double cursor) const
    {
        std::string lane (width, ' ');
        lane[(size_t) column (cursor)] = ':';

        for (auto* item : track.itemsInTimelineOrder())
        {
            const int first = column (item->position);
            const int last = std::max (first, column (item->position + item->length) - 1);
            auto* take = const_cast<Item*> (item)->activeTakeOrNull();
            std::string name = take != nullptr ? take->name : std::string();

            if (name.empty())
                name = item->label;

            const char open = item->selected ? '{' : '[';
            const char close = item->selected ? '}' : ']';
            const char fill = item->selected ? '#' : '=';

            for (int c = first; c <= last; ++c)
                lane[(size_t) c] = fill;

            for (int c = first + 1, i = 0; c < last && i < (int) name.size(); ++c, ++i)
                lane[(size_t) c] = name[(size_t) i];

            lane[(size_t) first] = open;
            lane[(size_t) last] = close;
        }

        return lane;
    }

private:
    double end;
    int width;
};

std::string takeLine (HostModel& model, Item& item, size_t index)
{
    auto& take = *item.takes[index];
    std::string line = "      " + take.label + ((int) index == item.activeTake ? "*" : " ") + " \"" + take.name + "\"";

    if (auto* source = take.source.get())
    {
        const char* file = source->GetFileName();
        line += "  " + model.describe (source) + " " + (file != nullptr ? std::string (file) : std::string ("(no file name)"));
        line += " (" + std::to_string ((int) source->GetSampleRate()) + " Hz, " + fixed (source->GetLength()) + " s)";
    }
    else
    {
        line += "  (no source)";
    }

    line += "\n        offset " + fixed (take.startOffset) + " s, rate " + fixed (take.playRate);
    line += take.preservePitch ? " (pitch kept)" : "";
    line += ", volume " + fixed (take.volume) + " (" + decibels (take.volume) + ")\n";
    return line;
}
} // namespace

std::string drawTimeline (HostModel& model, int width)
{
    std::lock_guard<std::recursive_mutex> guard (model.lock());
    auto& project = model.project();
    width = std::max (width, 16);
    const Canvas canvas (drawingEnd (model), width);

    std::string text = "Project " + (project.projectPath.empty() ? std::string ("(no path)") : project.projectPath);
    text += "   cursor " + fixed (project.cursor) + " s";

    if (project.timeSelection.end > project.timeSelection.start)
        text += "   time selection " + fixed (project.timeSelection.start) + " - " + fixed (project.timeSelection.end) + " s";

    text += "\n\n" + canvas.ruler (project.timeSelection);

    if (project.tracks.empty())
        text += padded ("(no tracks)", labelWidth) + "\n";

    for (size_t i = 0; i < project.tracks.size(); ++i)
    {
        auto& track = *project.tracks[i];
        const auto label = std::to_string (i + 1) + (track.selected ? "*" : " ") + track.name;
        text += padded (label, labelWidth - 1) + " " + canvas.lane (track, project.cursor) + "\n";
    }

    text += std::string (labelWidth + (size_t) canvas.column (project.cursor), ' ') + "^ " + fixed (project.cursor) + " s\n";

    for (size_t i = 0; i < project.tracks.size(); ++i)
    {
        auto& track = *project.tracks[i];

        if (track.items.empty())
            continue;

        text += "\nTrack " + std::to_string (i + 1) + " \"" + track.name + "\"" + (track.selected ? " (selected)" : "") + "\n";

        for (auto* item : track.itemsInTimelineOrder())
        {
            text += "  " + item->label + "  " + fixed (item->position) + " - " + fixed (item->position + item->length);
            text += " s (length " + fixed (item->length) + ")";
            text += item->loopSource ? "  loop" : "";
            text += item->selected ? "  selected" : "";
            text += item->takes.empty() ? "  (no takes)\n" : "\n";

            for (size_t t = 0; t < item->takes.size(); ++t)
                text += takeLine (model, *item, t);
        }
    }

    if (!project.actions.empty())
    {
        text += "\nActions run:";

        for (const auto& action : project.actions)
            text += " " + std::to_string (action.command);

        text += "\n";
    }

    for (const auto& request : project.explorerRequests)
        text += "Media Explorer: " + request.file + (request.play ? " (playing)" : "") + "\n";

    return text;
}
} // namespace reaper_host
