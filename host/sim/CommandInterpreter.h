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
// it, listing the journal, waiting while the timers run, loading and unloading. The
// commands are one table (name, arguments, summary, handler); the help is made from it.
class CommandInterpreter
{
public:
    CommandInterpreter (SimSession& session, std::ostream& out, int drawWidth);

    CommandOutcome execute (const std::string& line);

    // Every command with its arguments and what it does, one a line.
    static std::string helpText();

private:
    using Words = std::vector<std::string>;
    using Handler = CommandOutcome (CommandInterpreter::*) (const Words& words);

    struct Command
    {
        const char* name;
        const char* arguments; // as the help and the usage errors show them
        const char* summary;
        Handler handler;
    };

    static const std::vector<Command>& commands();
    static const Command* find (const std::string& name);

    // "usage: NAME ARGUMENTS", with what the arguments must also satisfy appended.
    static CommandOutcome usage (const Words& words, const char* condition = "");

    CommandOutcome help (const Words& words);
    CommandOutcome quit (const Words& words);
    CommandOutcome addTrack (const Words& words);
    CommandOutcome tracks (const Words& words);
    CommandOutcome selectTracks (const Words& words);
    CommandOutcome cursor (const Words& words);
    CommandOutcome timeSelection (const Words& words);
    CommandOutcome projectPath (const Words& words);
    CommandOutcome addItem (const Words& words);
    CommandOutcome selectItem (const Words& words);
    CommandOutcome unselectItems (const Words& words);
    CommandOutcome fail (const Words& words);
    CommandOutcome heal (const Words& words);
    CommandOutcome undoOrRedo (const Words& words);
    CommandOutcome history (const Words& words);
    CommandOutcome draw (const Words& words);
    CommandOutcome writeJson (const Words& words);
    CommandOutcome listJournal (const Words& words);
    CommandOutcome clearJournal (const Words& words);
    CommandOutcome tick (const Words& words);
    CommandOutcome wait (const Words& words);
    CommandOutcome waitFor (const Words& words);
    CommandOutcome load (const Words& words);
    CommandOutcome unload (const Words& words);
    CommandOutcome status (const Words& words);
    CommandOutcome waitServing (const Words& words);
    CommandOutcome echo (const Words& words);

    // The track numbered `word` (from 1), as a zero-based index.
    bool trackAt (const std::string& word, int& index, std::string& error);

    SimSession& session;
    std::ostream& out;
    int width;
};
} // namespace reaper_host
