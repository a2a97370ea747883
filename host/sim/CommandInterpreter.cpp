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

CommandOutcome usage (const std::string& command, const char* arguments)
{
    return CommandOutcome::fail ("usage: " + command + " " + arguments);
}
} // namespace

CommandInterpreter::CommandInterpreter (SimSession& simSession, std::ostream& output, int drawWidth)
    : session (simSession)
    , out (output)
    , width (drawWidth)
{
}

const char* CommandInterpreter::helpText()
{
    return "Commands (tracks and items are numbered from 1):\n"
           "  add-track [NAME]             add a track\n"
           "  tracks N                     add tracks until there are N\n"
           "  select-tracks [I ...]        select exactly these tracks (none: unselect all)\n"
           "  cursor SECONDS               move the edit cursor\n"
           "  time-selection START END     set the time selection (0 0 clears it)\n"
           "  project-path PATH            set the project path\n"
           "  add-item TRACK POS LEN [FILE]  add an item, with a take playing FILE\n"
           "  select-item TRACK I          select item I of the track (timeline order)\n"
           "  unselect-items               unselect every item\n"
           "  fail FUNCTION [TIMES]        make a host function fail (always, or TIMES calls)\n"
           "  heal FUNCTION                stop making it fail\n"
           "  undo                         undo the last undo point, as Edit > Undo\n"
           "  redo                         redo the last undone point\n"
           "  history                      list the undo points (undone ones marked)\n"
           "  draw                         print the timeline\n"
           "  json [FILE]                  write the project as JSON (stdout without FILE)\n"
           "  journal [N]                  list the host calls (the last N)\n"
           "  journal-clear                forget the host calls so far\n"
           "  tick [N]                     run the timers N times now\n"
           "  wait MS                      keep the timers running for MS milliseconds\n"
           "  wait-items N TIMEOUT_MS      run until the project has N items, else fail\n"
           "  wait-calls FUNCTION N TIMEOUT_MS  run until FUNCTION was called N times\n"
           "  load LIBRARY                 load an extension\n"
           "  unload                       unload every extension\n"
           "  status                       extensions, timers, ticks, live sources, pipe\n"
           "  wait-serving TIMEOUT_MS      run until an extension here serves the pipe\n"
           "  echo TEXT                    print TEXT\n"
           "  quit                         unload and leave\n";
}

CommandOutcome CommandInterpreter::execute (const std::string& line)
{
    Words words;
    std::string error;

    if (!tokenizeCommand (line, words, error))
        return CommandOutcome::fail (error);

    if (words.empty())
        return {};

    return run (words);
}

CommandOutcome CommandInterpreter::run (const Words& words)
{
    auto& model = session.model();
    const auto& command = words[0];
    const auto argc = words.size() - 1;
    double number = 0, other = 0;
    int count = 0;

    if (command == "help")
    {
        out << helpText();
        return {};
    }

    if (command == "quit" || command == "exit")
        return {CommandOutcome::Kind::quit, {}};

    if (command == "add-track")
    {
        model.addTrack (argc >= 1 ? words[1] : std::string());
        return {};
    }

    if (command == "tracks")
    {
        if (argc != 1 || !parseInteger (words[1], count) || count < 0)
            return usage (command, "N");

        while ((int) model.project().tracks.size() < count)
            model.addTrack();

        return {};
    }

    if (command == "select-tracks")
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

        model.selectTracks (indices);
        return {};
    }

    if (command == "cursor")
    {
        if (argc != 1 || !parseNumber (words[1], number) || number < 0)
            return usage (command, "SECONDS (not negative)");

        model.setCursor (number);
        return {};
    }

    if (command == "time-selection")
    {
        if (argc != 2 || !parseNumber (words[1], number) || !parseNumber (words[2], other) || number > other)
            return usage (command, "START END (START <= END)");

        model.setTimeSelection (number, other);
        return {};
    }

    if (command == "project-path")
    {
        if (argc != 1)
            return usage (command, "PATH");

        model.setProjectPath (words[1]);
        return {};
    }

    if (command == "add-item")
        return addItem (words);

    if (command == "select-item")
        return selectItem (words);

    if (command == "unselect-items")
    {
        model.unselectAllItems();
        return {};
    }

    if (command == "fail")
    {
        if (argc < 1 || argc > 2 || (argc == 2 && (!parseInteger (words[2], count) || count < 1)))
            return usage (command, "FUNCTION [TIMES]");

        model.faults().fail (words[1], argc == 2 ? count : FaultInjector::always);
        return {};
    }

    if (command == "heal")
    {
        if (argc != 1)
            return usage (command, "FUNCTION");

        model.faults().heal (words[1]);
        return {};
    }

    if (command == "undo" || command == "redo")
        return undoOrRedo (words);

    if (command == "history")
    {
        const auto& history = model.undoHistory();
        const auto points = history.points();

        if (points.empty())
            out << "no undo points\n";

        for (size_t i = 0; i < points.size(); ++i)
            out << (i + 1) << ": " << points[i].description << (i < history.pointsInEffect() ? "" : " (undone)") << "\n";

        out << std::flush;
        return {};
    }

    if (command == "draw" || command == "timeline")
    {
        out << drawTimeline (model, width) << std::flush;
        return {};
    }

    if (command == "json")
        return writeJson (words);

    if (command == "journal")
        return listJournal (words);

    if (command == "journal-clear")
    {
        model.journal().clear();
        return {};
    }

    if (command == "tick")
    {
        if (argc > 1 || (argc == 1 && (!parseInteger (words[1], count) || count < 0)))
            return usage (command, "[N]");

        for (int i = 0, n = argc == 1 ? count : 1; i < n; ++i)
            session.loop().tick();

        return {};
    }

    if (command == "wait")
        return wait (words);

    if (command == "wait-items" || command == "wait-calls")
        return waitFor (words);

    if (command == "load")
    {
        if (argc != 1)
            return usage (command, "LIBRARY");

        const auto result = session.load (words[1]);
        return result.ok() ? CommandOutcome{} : CommandOutcome::fail (result.message);
    }

    if (command == "unload")
    {
        session.unloadAll();
        return {};
    }

    if (command == "status")
    {
        out << "extensions: " << session.libraries().size() << "\n"
            << "timers: " << model.timers().count() << "\n"
            << "ticks: " << session.loop().ticks() << "\n"
            << "host calls: " << model.journal().entries().size() << "\n"
            << "host calls off the main thread: " << model.journal().offMainThreadCount() << "\n"
            << "live sources: " << MediaSource::liveCount() << "\n"
            << "pipe: " << describe (pipeServing()) << "\n";
        return {};
    }

    if (command == "wait-serving")
        return waitServing (words);

    if (command == "echo")
    {
        for (size_t i = 1; i < words.size(); ++i)
            out << (i > 1 ? " " : "") << words[i];

        out << "\n";
        return {};
    }

    return CommandOutcome::fail ("unknown command: " + command + " (try help)");
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
        return usage (words[0], "TRACK POSITION LENGTH [FILE]");

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
        return usage (words[0], "TRACK ITEM");

    if (!trackAt (words[1], trackIndex, error))
        return CommandOutcome::fail (error);

    const auto items = session.model().track (trackIndex)->itemsInTimelineOrder();

    if (index < 1 || index > (int) items.size())
        return CommandOutcome::fail ("track " + words[1] + " has no item " + words[2]);

    session.model().selectItem (*items[(size_t) index - 1]);
    return {};
}

CommandOutcome CommandInterpreter::undoOrRedo (const Words& words)
{
    auto& model = session.model();
    const bool undo = words[0] == "undo";

    if (words.size() != 1)
        return usage (words[0], "");

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

CommandOutcome CommandInterpreter::writeJson (const Words& words)
{
    if (words.size() > 2)
        return usage (words[0], "[FILE]");

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
        return usage (words[0], "[N]");

    const auto lines = session.model().journal().lines();
    const size_t first = last < 0 || (size_t) last >= lines.size() ? 0 : lines.size() - (size_t) last;

    for (size_t i = first; i < lines.size(); ++i)
        out << (i + 1) << ": " << lines[i] << "\n";

    out << std::flush;
    return {};
}

CommandOutcome CommandInterpreter::wait (const Words& words)
{
    double ms = 0;

    if (words.size() != 2 || !parseNumber (words[1], ms) || ms < 0)
        return usage (words[0], "MILLISECONDS");

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
        return usage (words[0], items ? "N TIMEOUT_MS" : "FUNCTION N TIMEOUT_MS");

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

CommandOutcome CommandInterpreter::waitServing (const Words& words)
{
    double timeout = 0;

    if (words.size() != 2 || !parseNumber (words[1], timeout) || timeout < 0)
        return usage (words[0], "TIMEOUT_MS");

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
} // namespace reaper_host
