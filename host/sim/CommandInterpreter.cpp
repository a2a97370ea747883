#include "CommandInterpreter.h"

#include <fstream>

#include "CommandTokens.h"
#include "MediaSource.h"
#include "PipeServing.h"
#include "ProjectJson.h"
#include "StopSignal.h"
#include "TimelineDrawing.h"

namespace reaper_host
{
namespace
{
std::chrono::microseconds milliseconds (double ms)
{
    return std::chrono::microseconds ((long long) (ms * 1000.0));
}
} // namespace

CommandInterpreter::CommandInterpreter (SimSession& simSession, std::ostream& output, int drawWidth)
    : session (simSession)
    , out (output)
    , width (drawWidth)
{
}

const std::vector<CommandInterpreter::Command>& CommandInterpreter::commands()
{
    using C = CommandInterpreter;

    static const std::vector<Command> table{
        {"add-track", "[NAME]", "add a track", &C::addTrack},
        {"tracks", "N", "add tracks until there are N", &C::tracks},
        {"select-tracks", "[I ...]", "select exactly these tracks (none: unselect all)", &C::selectTracks},
        {"cursor", "SECONDS", "move the edit cursor", &C::cursor},
        {"time-selection", "START END", "set the time selection (0 0 clears it)", &C::timeSelection},
        {"project-path", "PATH", "set the project path", &C::projectPath},
        {"add-item", "TRACK POSITION LENGTH [FILE]", "add an item, with a take playing FILE", &C::addItem},
        {"select-item", "TRACK ITEM", "select that item of the track (timeline order)", &C::selectItem},
        {"unselect-items", "", "unselect every item", &C::unselectItems},
        {"fail", "FUNCTION [TIMES]", "make a host function fail (always, or TIMES calls)", &C::fail},
        {"heal", "FUNCTION", "stop making it fail", &C::heal},
        {"undo", "", "undo the last undo point, as Edit > Undo", &C::undoOrRedo},
        {"redo", "", "redo the last undone point", &C::undoOrRedo},
        {"history", "", "list the undo points (undone ones marked)", &C::history},
        {"draw", "", "print the timeline", &C::draw},
        {"timeline", "", "print the timeline (as draw)", &C::draw},
        {"json", "[FILE]", "write the project as JSON (stdout without FILE)", &C::writeJson},
        {"journal", "[N]", "list the host calls (the last N)", &C::listJournal},
        {"journal-clear", "", "forget the host calls so far", &C::clearJournal},
        {"tick", "[N]", "run the timers N times now", &C::tick},
        {"wait", "MILLISECONDS", "keep the timers running for that long", &C::wait},
        {"wait-items", "N TIMEOUT_MS", "run until the project has N items, else fail", &C::waitFor},
        {"wait-calls", "FUNCTION N TIMEOUT_MS", "run until FUNCTION was called N times", &C::waitFor},
        {"load", "LIBRARY", "load an extension", &C::load},
        {"unload", "", "unload every extension", &C::unload},
        {"status", "", "extensions, timers, ticks, live sources, pipe", &C::status},
        {"wait-serving", "TIMEOUT_MS", "run until an extension here serves the pipe", &C::waitServing},
        {"echo", "TEXT", "print TEXT", &C::echo},
        {"quit", "", "unload and leave", &C::quit},
        {"exit", "", "unload and leave (as quit)", &C::quit},
        {"help", "", "list these commands", &C::help},
    };

    return table;
}

const CommandInterpreter::Command* CommandInterpreter::find (const std::string& name)
{
    for (const auto& command : commands())
        if (name == command.name)
            return &command;

    return nullptr;
}

std::string CommandInterpreter::helpText()
{
    constexpr std::size_t kSummaryColumn = 29;
    std::string text = "Commands (tracks and items are numbered from 1):\n";

    for (const auto& command : commands())
    {
        auto call = std::string (command.name) + (*command.arguments != 0 ? " " : "") + command.arguments;
        call.append (call.size() + 2 > kSummaryColumn ? 2 : kSummaryColumn - call.size(), ' ');
        text += "  " + call + command.summary + "\n";
    }

    return text;
}

CommandOutcome CommandInterpreter::usage (const Words& words, const char* condition)
{
    const auto* command = find (words[0]);
    return CommandOutcome::fail ("usage: " + words[0] + " " + (command != nullptr ? command->arguments : "") + condition);
}

CommandOutcome CommandInterpreter::execute (const std::string& line)
{
    Words words;
    std::string error;

    if (!tokenizeCommand (line, words, error))
        return CommandOutcome::fail (error);

    if (words.empty())
        return {};

    const auto* command = find (words[0]);

    if (command == nullptr)
        return CommandOutcome::fail ("unknown command: " + words[0] + " (try help)");

    return (this->*command->handler) (words);
}

CommandOutcome CommandInterpreter::help (const Words&)
{
    out << helpText();
    return {};
}

CommandOutcome CommandInterpreter::quit (const Words&)
{
    return {CommandOutcome::Kind::quit, {}};
}

CommandOutcome CommandInterpreter::addTrack (const Words& words)
{
    session.model().addTrack (words.size() >= 2 ? words[1] : std::string());
    return {};
}

CommandOutcome CommandInterpreter::tracks (const Words& words)
{
    auto& model = session.model();
    int count = 0;

    if (words.size() != 2 || !parseInteger (words[1], count) || count < 0)
        return usage (words);

    while ((int) model.project().tracks.size() < count)
        model.addTrack();

    return {};
}

CommandOutcome CommandInterpreter::selectTracks (const Words& words)
{
    std::vector<int> indices;

    for (size_t i = 1; i < words.size(); ++i)
    {
        int index = 0;
        std::string error;

        if (!trackAt (words[i], index, error))
            return CommandOutcome::fail (error);

        indices.push_back (index);
    }

    session.model().selectTracks (indices);
    return {};
}

CommandOutcome CommandInterpreter::cursor (const Words& words)
{
    double seconds = 0;

    if (words.size() != 2 || !parseNumber (words[1], seconds) || seconds < 0)
        return usage (words, " (not negative)");

    session.model().setCursor (seconds);
    return {};
}

CommandOutcome CommandInterpreter::timeSelection (const Words& words)
{
    double start = 0, end = 0;

    if (words.size() != 3 || !parseNumber (words[1], start) || !parseNumber (words[2], end) || start > end)
        return usage (words, " (START <= END)");

    session.model().setTimeSelection (start, end);
    return {};
}

CommandOutcome CommandInterpreter::projectPath (const Words& words)
{
    if (words.size() != 2)
        return usage (words);

    session.model().setProjectPath (words[1]);
    return {};
}

bool CommandInterpreter::trackAt (const std::string& word, int& index, std::string& error)
{
    int number = 0;

    if (!parseInteger (word, number) || session.model().track (number - 1) == nullptr)
    {
        error = "no track " + word + " (there are " + std::to_string (session.model().project().tracks.size()) + ")";
        return false;
    }

    index = number - 1;
    return true;
}

CommandOutcome CommandInterpreter::addItem (const Words& words)
{
    auto& model = session.model();
    double position = 0, length = 0;
    int trackIndex = 0;
    std::string error;

    if (words.size() < 4 || words.size() > 5 || !parseNumber (words[2], position) || !parseNumber (words[3], length) || length < 0)
        return usage (words);

    if (!trackAt (words[1], trackIndex, error))
        return CommandOutcome::fail (error);

    auto& item = model.addItem (*model.track (trackIndex), position, length);

    if (words.size() == 5)
    {
        const auto& file = words[4];
        auto& take = model.addTake (item, file.substr (file.find_last_of ('/') + 1));

        if (!model.setTakeSourceFromFile (take, file))
            return CommandOutcome::fail ("not an audio file: " + file + " (the item has a take without a source)");
    }

    return {};
}

CommandOutcome CommandInterpreter::selectItem (const Words& words)
{
    int trackIndex = 0;
    std::string error;
    int index = 0;

    if (words.size() != 3 || !parseInteger (words[2], index))
        return usage (words);

    if (!trackAt (words[1], trackIndex, error))
        return CommandOutcome::fail (error);

    const auto items = session.model().track (trackIndex)->itemsInTimelineOrder();

    if (index < 1 || index > (int) items.size())
        return CommandOutcome::fail ("track " + words[1] + " has no item " + words[2]);

    session.model().selectItem (*items[(size_t) index - 1]);
    return {};
}

CommandOutcome CommandInterpreter::unselectItems (const Words&)
{
    session.model().unselectAllItems();
    return {};
}

CommandOutcome CommandInterpreter::fail (const Words& words)
{
    int times = 0;

    if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && (!parseInteger (words[2], times) || times < 1)))
        return usage (words);

    session.model().faults().fail (words[1], words.size() == 3 ? times : FaultInjector::always);
    return {};
}

CommandOutcome CommandInterpreter::heal (const Words& words)
{
    if (words.size() != 2)
        return usage (words);

    session.model().faults().heal (words[1]);
    return {};
}

CommandOutcome CommandInterpreter::undoOrRedo (const Words& words)
{
    auto& model = session.model();
    const bool undo = words[0] == "undo";

    if (words.size() != 1)
        return usage (words);

    const auto& history = model.undoHistory();
    // The point undo takes back is the last in effect; the one redo puts back is the next.
    const size_t affected = history.pointsInEffect() - (undo ? 1 : 0);

    if (!(undo ? model.undo() : model.redo()))
        return CommandOutcome::fail (history.openBlocks() > 0 ? "an undo block is open" : undo ? "nothing to undo"
                                                                                               : "nothing to redo");

    out << (undo ? "undone: " : "redone: ") << history.points()[affected].description << "\n"
        << std::flush;
    return {};
}

CommandOutcome CommandInterpreter::history (const Words&)
{
    const auto& history = session.model().undoHistory();
    const auto points = history.points();

    if (points.empty())
        out << "no undo points\n";

    for (size_t i = 0; i < points.size(); ++i)
        out << (i + 1) << ": " << points[i].description << (i < history.pointsInEffect() ? "" : " (undone)") << "\n";

    out << std::flush;
    return {};
}

CommandOutcome CommandInterpreter::draw (const Words&)
{
    out << drawTimeline (session.model(), width) << std::flush;
    return {};
}

CommandOutcome CommandInterpreter::writeJson (const Words& words)
{
    if (words.size() > 2)
        return usage (words);

    const auto text = projectToJson (session.model()).dump (2) + "\n";

    if (words.size() == 1)
    {
        out << text << std::flush;
        return {};
    }

    std::ofstream file (words[1]);
    file << text;
    file.close();
    return file ? CommandOutcome{} : CommandOutcome::fail ("cannot write " + words[1]);
}

CommandOutcome CommandInterpreter::listJournal (const Words& words)
{
    int last = -1;

    if (words.size() > 2 || (words.size() == 2 && (!parseInteger (words[1], last) || last < 0)))
        return usage (words);

    const auto& journal = session.model().journal();
    const auto lines = journal.lines();
    const size_t first = last < 0 || (size_t) last >= lines.size() ? 0 : lines.size() - (size_t) last;

    if (first == 0 && journal.droppedCount() > 0)
        out << "(" << journal.droppedCount() << " earlier calls not kept)\n";

    for (size_t i = first; i < lines.size(); ++i)
        out << (journal.droppedCount() + i + 1) << ": " << lines[i] << "\n";

    out << std::flush;
    return {};
}

CommandOutcome CommandInterpreter::clearJournal (const Words&)
{
    session.model().journal().clear();
    return {};
}

CommandOutcome CommandInterpreter::tick (const Words& words)
{
    int count = 1;

    if (words.size() > 2 || (words.size() == 2 && (!parseInteger (words[1], count) || count < 0)))
        return usage (words);

    for (int i = 0; i < count; ++i)
        session.loop().tick();

    return {};
}

CommandOutcome CommandInterpreter::wait (const Words& words)
{
    double ms = 0;

    if (words.size() != 2 || !parseNumber (words[1], ms) || ms < 0)
        return usage (words);

    session.loop().runUntil ([]
                             { return StopSignal::requested(); },
                             milliseconds (ms));
    return {};
}

CommandOutcome CommandInterpreter::waitFor (const Words& words)
{
    auto& model = session.model();
    const bool items = words[0] == "wait-items";
    const size_t expected = items ? 3 : 4;
    int target = 0;
    double timeout = 0;

    if (words.size() != expected || !parseInteger (words[expected - 2], target) || !parseNumber (words[expected - 1], timeout) || timeout < 0)
        return usage (words);

    const std::string function = items ? std::string() : words[1];
    auto count = [&]
    { return items ? model.itemCount() : model.journal().countOf (function); };

    session.loop().runUntil ([&]
                             { return count() >= target || StopSignal::requested(); },
                             milliseconds (timeout));

    if (StopSignal::requested() || count() >= target)
        return {};

    return CommandOutcome::fail ("timed out after " + words[expected - 1] + " ms waiting for " + std::to_string (target)
                                 + (items ? " items" : " calls to " + function) + " (have " + std::to_string (count()) + ")");
}

CommandOutcome CommandInterpreter::load (const Words& words)
{
    if (words.size() != 2)
        return usage (words);

    const auto result = session.load (words[1]);
    return result.ok() ? CommandOutcome{} : CommandOutcome::fail (result.message);
}

CommandOutcome CommandInterpreter::unload (const Words&)
{
    session.unloadAll();
    return {};
}

CommandOutcome CommandInterpreter::status (const Words&)
{
    auto& model = session.model();
    out << "extensions: " << session.libraries().size() << "\n"
        << "timers: " << model.timers().count() << "\n"
        << "ticks: " << session.loop().ticks() << "\n"
        << "host calls: " << model.journal().totalCount() << " (the oldest " << model.journal().droppedCount() << " not kept in the journal)\n"
        << "host calls off the main thread: " << model.journal().offMainThreadCount() << "\n"
        << "live sources: " << MediaSource::liveCount() << "\n"
        << "pipe: " << describe (pipeServing()) << "\n";
    return {};
}

CommandOutcome CommandInterpreter::waitServing (const Words& words)
{
    double timeout = 0;

    if (words.size() != 2 || !parseNumber (words[1], timeout) || timeout < 0)
        return usage (words);

    bool served = false;
    session.loop().runUntil ([&]
                             { return (served = pipeServedByThisProcess()) || StopSignal::requested(); },
                             milliseconds (timeout));

    if (StopSignal::requested() || served)
    {
        out << "pipe: " << describe (pipeServing()) << "\n";
        return {};
    }

    return CommandOutcome::fail ("timed out after " + words[1] + " ms waiting to serve the pipe (" + describe (pipeServing()) + ")");
}

CommandOutcome CommandInterpreter::echo (const Words& words)
{
    for (size_t i = 1; i < words.size(); ++i)
        out << (i > 1 ? " " : "") << words[i];

    out << "\n";
    return {};
}
} // namespace reaper_host
