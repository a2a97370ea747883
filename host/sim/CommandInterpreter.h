#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "SimSession.h"

namespace reaper_host
{
struct CommandOutcome
{
    enum class Kind
    {
        done,
        failed,
        quit,
    };

    Kind kind = Kind::done;
    std::string error;

    static CommandOutcome fail (std::string why)
    {
        return {Kind::failed, std::move (why)};
    }
};

// Carries out the console host's commands: changing the project, drawing and exporting
// it, listing the journal, waiting while the timers run, loading and unloading.
class CommandInterpreter
{
public:
    CommandInterpreter (SimSession& session, std::ostream& out, int drawWidth);

    CommandOutcome execute (const std::string& line);

    static const char* helpText();

private:
    using Words = std::vector<std::string>;

    CommandOutcome run (const Words& words);
    CommandOutcome addItem (const Words& words);
    CommandOutcome selectItem (const Words& words);
    CommandOutcome undoOrRedo (const Words& words);
    CommandOutcome writeJson (const Words& words);
    CommandOutcome listJournal (const Words& words);
    CommandOutcome wait (const Words& words);
    CommandOutcome waitFor (const Words& words);
    CommandOutcome waitServing (const Words& words);
    // The track numbered `word` (from 1), as a zero-based index.
    bool trackAt (const std::string& word, int& index, std::string& error);

    SimSession& session;
    std::ostream& out;
    int width;
};
} // namespace reaper_host
