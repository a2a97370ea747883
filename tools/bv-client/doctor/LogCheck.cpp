#include "LogCheck.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "LogTexts.h"

namespace log_check
{
namespace
{
using State = Verdict::State;

bool startsWith (const std::string& text, const char* prefix)
{
    return text.rfind (prefix, 0) == 0;
}

bool contains (const std::string& text, const char* part)
{
    return text.find (part) != std::string::npos;
}

bool isStartLine (const std::string& line)
{
    return startsWith (line, log_texts::kStarted) || (startsWith (line, log_texts::kHeadStarted) && contains (line, log_texts::kHeadTrimmed));
}

bool isWaitingLine (const std::string& line)
{
    return startsWith (line, log_texts::kServedByAnother);
}

bool isStalledLine (const std::string& line)
{
    const std::string end = log_texts::kPacketStalledEnd;
    return startsWith (line, log_texts::kPacketStalled) && line.size() > end.size() && line.compare (line.size() - end.size(), end.size(), end) == 0;
}

// The last stall line that no later line has settled.
std::string unsettledStall (const std::vector<std::string>& lines)
{
    std::string stalled;

    for (const auto& line : lines)
        if (isStalledLine (line))
            stalled = line;
        else if (startsWith (line, log_texts::kIncompletePacketDropped) || isStartLine (line) || line == log_texts::kPipeCreated || line == log_texts::kPipeRecreated)
            stalled.clear();

    return stalled;
}

struct Section
{
    State state = State::unknown;
    std::string detail;
};

// What the start line itself says of the pipe: only a cut log's head line says anything, the
// pipe's state after ", trimmed since; ".
Section fromStartLine (const std::string& line)
{
    const std::string marker = std::string (log_texts::kHeadTrimmed) + log_texts::kHeadStateSeparator;
    const auto at = line.find (marker);

    if (at == std::string::npos)
        return {};

    const auto state = line.substr (at + marker.size());

    if (state == log_texts::kStateServed)
        return {State::serving, line};
    if (state == log_texts::kStateWaitingForLock)
        return {State::waiting, line};
    if (state == log_texts::kStateFifosRefused || state == log_texts::kStateLost)
        return {State::noPipe, line};
    if (state == log_texts::kStateStopped)
        return {State::quit, line};

    return {};
}

// The state after the lines [from, to), starting from what the start line said.
Section evaluate (const std::vector<std::string>& lines, std::size_t from, std::size_t to, Section section)
{
    for (auto i = from; i < to; ++i)
    {
        const auto& line = lines[i];

        if (line == log_texts::kPipeCreated || line == log_texts::kPipeRecreated)
            section = {State::serving, line};
        else if (startsWith (line, log_texts::kPipeNotCreated))
            section = {State::noPipe, line};
        else if (isWaitingLine (line))
            section = {State::waiting, line};
        else if (line == log_texts::kDeletingInstance && (section.state == State::serving || section.state == State::waiting))
            section = {State::quit, line};
        else if (section.state == State::unknown && !line.empty())
            section.detail = line;
    }

    return section;
}
} // namespace

Verdict readLog (const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream stream (text);

    for (std::string line; std::getline (stream, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();

        lines.push_back (line);
    }

    std::vector<std::size_t> starts;

    for (std::size_t i = 0; i < lines.size(); ++i)
        if (isStartLine (lines[i]))
            starts.push_back (i);

    Verdict verdict;
    verdict.stalledPacket = unsettledStall (lines);

    if (starts.empty())
    {
        if (std::none_of (lines.begin(), lines.end(), [] (const std::string& line)
                          { return startsWith (line, log_texts::kTrimmed); }))
            return verdict;

        const auto section = evaluate (lines, 0, lines.size(), {});
        verdict.state = section.state;
        verdict.detail = section.detail;
        verdict.trimmed = true;
        return verdict;
    }

    // Each start's own lines run to the next start line.
    const auto sectionOf = [&] (std::size_t k)
    {
        const auto end = k + 1 < starts.size() ? starts[k + 1] : lines.size();
        return evaluate (lines, starts[k] + 1, end, fromStartLine (lines[starts[k]]));
    };

    auto k = starts.size() - 1;
    auto section = sectionOf (k);

    if (section.state == State::waiting)
    {
        // The REAPER it waits for started earlier; other REAPERs may be waiting too.
        auto earlier = k;
        auto served = section;

        while (earlier > 0 && served.state == State::waiting)
            served = sectionOf (--earlier);

        if (served.state != State::waiting)
        {
            verdict.waitingStarted = lines[starts[k]];
            verdict.waitingDetail = section.detail;
            k = earlier;
            section = served;
        }
    }

    verdict.started = lines[starts[k]];
    verdict.state = section.state;
    verdict.detail = section.detail;
    verdict.trimmed = !startsWith (verdict.started, log_texts::kStarted);
    return verdict;
}
} // namespace log_check
