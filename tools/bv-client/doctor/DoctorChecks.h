#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Doctor.h"

// The doctor's checks that every system makes alike, and the words its checks are made of.
// What differs (the module's format, the pipe's files or name) is Doctor.cpp's for the FIFOs
// of Linux and macOS and DoctorWindows.cpp's for Windows' named pipe: each has runChecks and
// verdict.
namespace doctor
{
Check passed (const char* name, std::string detail);
Check failed (const char* name, std::string detail, std::string advice);
Check absent (const char* name, std::string detail, std::string advice);
Check notChecked (const char* name, std::string detail);

std::string joined (const std::vector<std::string>& words, const char* separator = ", ");

// The module's file in folder: its name starts with reaper_belvanta (a release file may carry
// the system in its name) and ends as the system's libraries do. module is set when there is
// exactly one, and it is a regular file.
Check findModule (const std::string& folder, std::string& module);

// The log at path: whether the last start made the pipe, waits for another REAPER, or could
// not. lockRefused: why the serving lock at lockPath is refused, empty when it is not (or the
// system has no lock file).
Check checkLogFile (const std::string& path, const std::string& lockPath, const std::string& lockRefused);

// The failed round trip with nothing more to say of it than detail.
Check unansweredPlainly (std::string detail);

// A version request through the pipe, as bv-client sends it. Not answered: the check that
// unanswered makes of what went wrong, with what the system can tell of why (a program that
// holds the FIFOs' request end in the middle of a packet).
Check roundTrip (const Options& options, const std::function<Check (std::string detail)>& unanswered = unansweredPlainly);

// The check of that name when it failed, else null.
const Check* failedCheck (const std::vector<Check>& checks, const std::string& name);

// The verdict every system gives first, from the module's checks; empty when they passed.
std::string moduleVerdict (const std::vector<Check>& checks);
} // namespace doctor
