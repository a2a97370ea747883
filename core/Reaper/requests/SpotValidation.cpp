#include "requests/SpotValidation.h"

#include <cmath>

juce::Result validateSpotCommand (const BVReaper::SpotCommand& spot)
{
    if (spot.has_start_offset() && !std::isfinite (spot.start_offset()))
        return juce::Result::fail ("Invalid start offset: must be a finite number");

    if (spot.has_end_offset())
    {
        if (!std::isfinite (spot.end_offset()))
            return juce::Result::fail ("Invalid end offset: must be a finite number");

        const float start = spot.has_start_offset() ? spot.start_offset() : 0.0f;

        if (!(spot.end_offset() > start))
            return juce::Result::fail ("Invalid end offset: must be greater than the start offset");

        // The item length is this single-precision difference; two finite floats far apart
        // can still overflow it.
        if (!std::isfinite (spot.end_offset() - start))
            return juce::Result::fail ("Invalid end offset: too far from the start offset");
    }

    if (spot.has_play_rate() && !(std::isfinite (spot.play_rate()) && spot.play_rate() > 0.0f))
        return juce::Result::fail ("Invalid play rate: must be a finite number greater than 0");

    if (spot.has_volume() && !(std::isfinite (spot.volume()) && spot.volume() >= 0.0f))
        return juce::Result::fail ("Invalid volume: must be a finite number not below 0");

    return juce::Result::ok();
}
