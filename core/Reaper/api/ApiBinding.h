#pragma once

#include "api/ReaperTypes.h"

// Fills the host API table by name, in the order of the binding table. Every lookup is
// made, also after a miss; the result is the number of names the host did not supply.
int bindHostApi (HostGetFunc getFunc);

// Fills the optional part of the table (undo points, redraw batching, item removal) the
// same way; a missing one stays null and refuses nothing. The result is the number the
// host did not supply.
int bindOptionalHostApi (HostGetFunc getFunc);

// Fills the functions looked up only when needed (the alert's message box) the same way.
int bindOnDemandHostApi (HostGetFunc getFunc);

// Number of entries in the binding table.
int hostApiEntryCount();

// Name of the binding-table entry at index (0 .. hostApiEntryCount() - 1).
const char* hostApiEntryName (int index);
