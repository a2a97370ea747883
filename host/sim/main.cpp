#include "SimOptions.h"
#include "SimProgram.h"

int main (int argc, char** argv)
{
    reaper_host::SimOptions options;
    int exitCode = 0;

    if (!reaper_host::parseSimOptions (argc, argv, options, exitCode))
        return exitCode;

    return reaper_host::runSimProgram (options);
}
