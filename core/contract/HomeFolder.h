#pragma once

#include <string>

// Where the user's own files go (the extension's log, bv-client's cache): one rule for every
// program of the project, so they all agree on whose home it is.
namespace home_folder
{
// $HOME when it is an absolute path; else (unset, empty or relative, which would put the
// user's files under whatever folder the program was started in) the home of the effective
// user's password entry; empty when there is neither.
std::string path();
} // namespace home_folder
