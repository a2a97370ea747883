#pragma once

#include <juce_core/juce_core.h>

#include "reaper.pb.h"

// Refuses spot requests whose numbers would put a zero, negative or non-numeric length,
// rate or volume into the user's project. Checked before anything is created, so a
// refused request leaves the project untouched. A negative start offset is allowed: it
// places silence before the source's start.
juce::Result validateSpotCommand (const BVReaper::SpotCommand& spot);
