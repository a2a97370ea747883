#include "SimOptions.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "CommandInterpreter.h"
#include "CommandTokens.h"
#include "DynamicLibrary.h"

namespace reaper_host
{
bool parseSimOptions (int argc, char** argv, SimOptions& options, int& exitCode)
{
    CLI::App app ("reaper-sim: a stand-in REAPER that loads extensions, runs their timers and "
                  "shows what they did to the project.\n\n"
                  + std::string (CommandInterpreter::helpText()));
    app.set_help_flag ("-h,--help", "Show this help and the commands");

    std::string callerVersion;
    app.add_option ("libraries", options.libraries, "Extension libraries to load");
    app.add_option ("--plugins-dir", options.pluginsFolder, std::string ("Load every reaper_*") + dynamic_library::kSuffix + " in this folder");
    app.add_option ("--tracks", options.tracks, "Number of tracks in the project")->check (CLI::NonNegativeNumber);
    app.add_option ("--track", options.trackNames, "Add a track with this name (repeatable)");
    app.add_option ("--select-track", options.selectedTracks, "Select this track, numbered from 1 (repeatable)");
    app.add_option ("--cursor", options.cursor, "Edit cursor position in seconds")->check (CLI::NonNegativeNumber);
    app.add_option ("--time-selection", options.timeSelection, "Time selection START END in seconds")->expected (2);
    app.add_option ("--project-path", options.projectPath, "the project path the host reports");
    app.add_option ("--period", options.periodMs, "Timer period in milliseconds (REAPER: about 33)")->check (CLI::PositiveNumber);
    app.add_option ("--script", options.script, "Run the commands in this file instead of reading standard input");
    app.add_option ("--caller-version", callerVersion, "caller_version of the plug-in record (default 0x20E)");
    app.add_option ("--withhold", options.withheld, "Host function GetFunc does not offer (repeatable)");
    app.add_option ("--fail", options.failing, "Host function that always fails (repeatable)");
    app.add_option ("--width", options.drawWidth, "Columns of the timeline drawing")->check (CLI::Range (16, 400));
    app.add_option ("--json", options.jsonOnExit, "Write the project as JSON to this file before unloading");
    app.add_flag ("--journal", options.journalOnExit, "List the host calls before unloading");
    app.add_flag ("--draw", options.drawOnExit, "Print the timeline before unloading");

    // An option takes exactly its own values, however often it is repeated: a library path
    // after `--track NAME` or `--time-selection START END` stays a library path.
    for (auto* option : app.get_options ([] (const CLI::Option* o)
                                         { return !o->get_positional(); }))
        option->allow_extra_args (false);

    try
    {
        app.parse (argc, argv);
    }
    catch (const CLI::ParseError& error)
    {
        exitCode = app.exit (error) == 0 ? 0 : 2;
        return false;
    }

    if (!callerVersion.empty() && !parseInteger (callerVersion, options.callerVersion))
    {
        std::cerr << "reaper-sim: error: --caller-version: not a number: " << callerVersion << "\n";
        exitCode = 2;
        return false;
    }

    if (options.timeSelection.size() == 2 && options.timeSelection[0] > options.timeSelection[1])
    {
        std::cerr << "reaper-sim: error: --time-selection: start is after end\n";
        exitCode = 2;
        return false;
    }

    const int trackCount = std::max (options.tracks, (int) options.trackNames.size());

    for (int number : options.selectedTracks)
    {
        if (number < 1 || number > trackCount)
        {
            std::cerr << "reaper-sim: error: --select-track: no track " << number << " (there are " << trackCount
                      << "; --track NAME or --tracks N adds tracks)\n";
            exitCode = 2;
            return false;
        }
    }

    return true;
}
} // namespace reaper_host
