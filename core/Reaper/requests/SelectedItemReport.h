#pragma once

#include <cstddef>
#include <string>

#include "pipe/ReplyChannel.h"

// What REAPER says about the first selected media item, gathered for one reply.
struct SelectedItemReport
{
    enum class Shape
    {
        none,        // nothing selected, or the item has no take
        emptyObject, // a take, but no source or no file name (or one longer than kLongestFileName)
        fullObject
    };

    // No file system takes a path near this long (Linux 4,096 bytes, macOS 1,024): a longer
    // name is no file's, and would make a reply of up to six times its size (each byte that
    // is not UTF-8 becomes a six-byte escape). Such a name is not reported (emptyObject).
    static constexpr std::size_t kLongestFileName = 65536;

    Shape shape = Shape::none;
    std::string src; // the source's file name, as REAPER's bytes
    double start = 0.0;
    double len = 0.0;
    int pcmsr = 0;
    double pcmlen = 0.0;
};

// The report as the library application parses it: null, an empty object or the five
// members src, start, len, pcmsr, pcmlen in that order; CR LF line ends, two-space indent,
// no line end after the closing brace; ASCII only.
std::string writeSelectedItemJson (const SelectedItemReport& report);

// Asks REAPER about take 0 of selected item 0 of the current project.
SelectedItemReport gatherSelectedItemReport();

// The SELECTED_FILE_REQUEST: always answered with a RESPONSE whose text is the report as JSON.
void reportSelectedItem (ReplyChannel& replies);
