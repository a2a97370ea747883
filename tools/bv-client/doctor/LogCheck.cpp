#include "LogCheck.h"

#include <sstream>
#include <vector>

namespace log_check
{
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

    Verdict verdict;
    std::size_t start = lines.size();

    for (std::size_t i = lines.size(); i-- > 0;)
        if (lines[i].rfind ("Log started:", 0) == 0)
        {
            start = i;
            break;
        }

    if (start == lines.size())
        return verdict;

    verdict.started = lines[start];
    verdict.state = Verdict::State::unknown;

    for (std::size_t i = start + 1; i < lines.size(); ++i)
    {
        const auto& line = lines[i];

        if (line == "pipe created")
            verdict.state = Verdict::State::serving, verdict.detail = line;
        else if (line.rfind ("Pipe not created", 0) == 0)
            verdict.state = Verdict::State::noPipe, verdict.detail = line;
        else if (line == "Deleting Instance" && verdict.state == Verdict::State::serving)
            verdict.state = Verdict::State::quit, verdict.detail = line;
        else if (verdict.state == Verdict::State::unknown && !line.empty())
            verdict.detail = line;
    }

    return verdict;
}
} // namespace log_check
