#include "LogCheck.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "LogTexts.h"

namespace log_check
{
namespace
{
using State = Verdict::State;

std::string lowerCase (std::string text)
{
    std::transform (text.begin(), text.end(), text.begin(), [] (unsigned char c)
                    { return static_cast<char> (std::tolower (c)); });
    return text;
}

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

struct Section
{
    State state = State::unknown;
    std::string detail;
};

// What the start line itself says of the pipe: only a trim's head line says anything, the
// pipe's state after its last "; ".
Section fromStartLine (const std::string& line)
{
    if (const auto at = line.rfind (log_texts::kHeadStateSeparator); at != std::string::npos)
    {
        const auto state = line.substr (at + std::char_traits<char>::length (log_texts::kHeadStateSeparator));

        if (state == log_texts::kStateServed)
            return {State::serving, line};
        if (state == log_texts::kStateWaitingForLock)
            return {State::waiting, line};
        if (state == log_texts::kStateFifosRefused || state == log_texts::kStateLost)
            return {State::noPipe, line};
        if (state == log_texts::kStateStopped)
            return {State::quit, line};
    }

    // A head line in words this version does not write.
    const auto words = lowerCase (line);

    if (contains (words, "served by another"))
        return {State::waiting, line};
    if (contains (words, "not served") || contains (words, "not created"))
        return {State::noPipe, line};
    if (contains (words, "served") || contains (words, "serving") || contains (words, "pipe created"))
        return {State::serving, line};

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
