#pragma once

#include <nlohmann/json.hpp>

#include "HostModel.h"

namespace reaper_host
{
// The model's project and what the host was asked to do, as one JSON document: tracks
// with items and takes (with their sources), cursor, time selection, project path,
// actions run, Media Explorer requests, message boxes, redraw counts and timers.
nlohmann::json projectToJson (HostModel& model);
} // namespace reaper_host
