#pragma once

#include <string>
#include <vector>

// Reading the extension's log file back in tests.
namespace testing_support
{
// The file's whole content; empty when it cannot be read.
std::string readWholeFile (const std::string& path);

// The file's lines without their line ends (CR LF, LF or CR). Empty lines are kept, so the
// start banner's blank lines show; a missing file gives no lines.
std::vector<std::string> readLogLines (const std::string& path);

// True for the line JUCE logs for a failed assertion: "JUCE Assertion failure in <file>:<line>".
bool isAssertionLine (const std::string& line);

// The lines that are neither empty nor part of a start banner, in order: what the extension
// itself wrote.
std::vector<std::string> messageLines (const std::vector<std::string>& lines);

// How many start banners ("Log started: ..." lines) the lines hold.
int bannerCount (const std::vector<std::string>& lines);

// How often exactly this line occurs.
int countOf (const std::vector<std::string>& lines, const std::string& line);
} // namespace testing_support
