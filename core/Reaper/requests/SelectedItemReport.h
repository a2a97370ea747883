#pragma once

#include <string>

#include "requests/ReplySender.h"

// What REAPER says about the first selected media item, gathered for one reply.
struct SelectedItemReport
{
    enum class Shape
    {
        none,        // nothing selected, or the item has no take
        emptyObject, // a take, but no source or no file name
        fullObject
    };

    Shape shape = Shape::none;
    std::string src; // the source's file name, as REAPER's bytes
    double start = 0.0;
    double len = 0.0;
    int pcmsr = 0;
    double pcmlen = 0.0;
};

// Asks REAPER about take 0 of selected item 0 of the current project.
SelectedItemReport gatherSelectedItemReport();

// The SELECTED_FILE_REQUEST: always answered with a RESPONSE whose text is the report as JSON.
void reportSelectedItem (ReplySender& replies);
