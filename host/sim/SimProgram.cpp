#include "SimProgram.h"

#include <fstream>
#include <iostream>
#include <unistd.h>

#include "CommandInterpreter.h"
#include "LineReader.h"
#include "ProjectJson.h"
#include "SimSession.h"
#include "StopSignal.h"
#include "TimelineDrawing.h"

namespace reaper_host
{
namespace
{
void setUpProject (HostModel& model, const SimOptions& options)
{
    model.reset();

    for (const auto& name : options.trackNames)
        model.addTrack (name);

    while ((int) model.project().tracks.size() < options.tracks)
        model.addTrack();

    std::vector<int> selected;

    for (int number : options.selectedTracks)
        selected.push_back (number - 1);

    model.selectTracks (selected);
    model.setCursor (options.cursor);

    if (options.timeSelection.size() == 2)
        model.setTimeSelection (options.timeSelection[0], options.timeSelection[1]);

    model.setProjectPath (options.projectPath);

    for (const auto& name : options.withheld)
        model.withhold (name);

    for (const auto& name : options.failing)
        model.faults().fail (name);
}

bool readScript (const std::string& path, std::vector<std::string>& lines)
{
    std::ifstream file (path);

    if (!file)
        return false;

    for (std::string line; std::getline (file, line);)
        lines.push_back (line);

    return !file.bad();
}

bool loadExtensions (SimSession& session, const SimOptions& options)
{
    if (!options.pluginsFolder.empty())
    {
        int loaded = 0, failures = 0;
        std::string error;

        if (!session.loadFolder (options.pluginsFolder, loaded, failures, error))
        {
            std::cerr << "reaper-sim: error: " << error << "\n";
            return false;
        }

        std::cout << "loaded " << loaded << " extension(s) from " << options.pluginsFolder << "\n";

        if (failures > 0)
            return false;
    }

    for (const auto& path : options.libraries)
    {
        const auto result = session.load (path);

        if (!result.ok())
        {
            std::cerr << "reaper-sim: error: " << result.message << "\n";
            return false;
        }
    }

    return true;
}

void finish (SimSession& session, CommandInterpreter& interpreter, const SimOptions& options)
{
    if (options.drawOnExit)
        interpreter.execute ("draw");

    if (options.journalOnExit)
        interpreter.execute ("journal");

    if (!options.jsonOnExit.empty())
    {
        std::ofstream file (options.jsonOnExit);
        file << projectToJson (session.model()).dump (2) << "\n";

        if (!file)
            std::cerr << "reaper-sim: error: cannot write " << options.jsonOnExit << "\n";
    }

    session.unloadAll();
}

// False when the command means the program must stop; `exitCode` then says how.
bool runCommand (CommandInterpreter& interpreter, const std::string& line, const std::string& where, bool stopOnError, int& exitCode)
{
    const auto outcome = interpreter.execute (line);

    if (outcome.kind == CommandOutcome::Kind::quit)
        return false;

    if (outcome.kind == CommandOutcome::Kind::failed)
    {
        std::cerr << "reaper-sim: error: " << where << outcome.error << "\n";

        // A typed mistake is shown and the prompt comes back: it does not decide how the
        // session ends. A script or piped input stops at its first failure and reports it.
        if (!stopOnError)
            return true;

        exitCode = exitCommandFailed;
        return false;
    }

    return true;
}

int runScript (SimSession& session, CommandInterpreter& interpreter, const std::vector<std::string>& lines, const std::string& path)
{
    int exitCode = exitOk;

    for (size_t i = 0; i < lines.size() && !StopSignal::requested(); ++i)
    {
        session.loop().tickIfDue();

        if (!runCommand (interpreter, lines[i], path + ":" + std::to_string (i + 1) + ": ", true, exitCode))
            break;
    }

    return exitCode;
}

// Standard input: typed commands keep going after a mistake; piped ones stop at the
// first, like a script.
int runInput (SimSession& session, CommandInterpreter& interpreter)
{
    const bool interactive = isatty (STDIN_FILENO) != 0;
    LineReader reader (STDIN_FILENO);
    int exitCode = exitOk;
    int lineNumber = 0;

    if (interactive)
        std::cout << "reaper-sim> " << std::flush;

    while (!StopSignal::requested() && !reader.atEnd())
    {
        const auto lines = reader.poll (session.loop().timeUntilNextTick());
        session.loop().tickIfDue();

        for (const auto& line : lines)
        {
            const auto where = interactive ? std::string() : "stdin:" + std::to_string (++lineNumber) + ": ";

            if (!runCommand (interpreter, line, where, !interactive, exitCode) || StopSignal::requested())
                return exitCode;
        }

        if (interactive && !lines.empty())
            std::cout << "reaper-sim> " << std::flush;
    }

    return exitCode;
}
} // namespace

int runSimProgram (const SimOptions& options)
{
    std::vector<std::string> script;

    if (!options.script.empty() && !readScript (options.script, script))
    {
        std::cerr << "reaper-sim: error: cannot read script " << options.script << "\n";
        return exitSetupFailed;
    }

    StopSignal::install();

    // Line by line, so a client or a test watching the output sees each message at once.
    std::cout << std::unitbuf;
    auto& model = HostModel::current();
    setUpProject (model, options);

    const auto period = std::chrono::microseconds ((long long) (options.periodMs * 1000.0));
    SimSession session (model, period, options.callerVersion, std::cout);
    CommandInterpreter interpreter (session, std::cout, options.drawWidth);

    if (!loadExtensions (session, options))
    {
        session.unloadAll();
        return exitSetupFailed;
    }

    int exitCode = options.script.empty() ? runInput (session, interpreter)
                                          : runScript (session, interpreter, script, options.script);

    if (StopSignal::requested())
    {
        std::cout << "interrupted: unloading\n";
        exitCode = exitInterrupted;
    }

    finish (session, interpreter, options);
    std::cout << std::flush;
    return exitCode;
}
} // namespace reaper_host
