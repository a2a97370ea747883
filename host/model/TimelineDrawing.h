#pragma once

#include <string>

#include "HostModel.h"

namespace reaper_host
{
// A text drawing of the project for a terminal: a ruler with the time selection, one
// lane per track with its items, the edit cursor, then every item and take in detail.
// `width` is the number of columns for the lanes.
std::string drawTimeline (HostModel& model, int width = 64);
} // namespace reaper_host
