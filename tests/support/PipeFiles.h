#pragma once

#include <string>
#include <vector>

// Finding the files a pipe leaves in /tmp, so tests can prove none is left behind.
namespace testing_support
{
// The paths in /tmp whose names start with the pipe's name and an underscore, e.g.
// /tmp/bv_reaper_in and /tmp/bv_reaper_out for "bv_reaper", whatever kind of file they are.
// A client's lock file (/tmp/bv_reaper_client.lock) is not the extension's and is left out:
// a client killed while it talked leaves it behind.
std::vector<std::string> pipeFilesInTmp (const std::string& pipeName = "bv_reaper");
} // namespace testing_support
