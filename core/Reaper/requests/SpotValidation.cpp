#include "requests/SpotValidation.h"

#include <cmath>

using namespace spot_limits;

namespace
{
float requestedStart (const BVReaper::SpotCommand& spot)
{
    return spot.has_start_offset() ? spot.start_offset() : 0.0f;
}

Outcome validateTimes (const BVReaper::SpotCommand& spot)
{
    if (spot.has_start_offset())
    {
        if (!std::isfinite (spot.start_offset()))
            return Outcome::fail ("Invalid start offset: must be a finite number");

        if (std::abs (spot.start_offset()) > kMaxSeconds)
            return Outcome::fail ("Invalid start offset: must be between -10000000 and 10000000 seconds");
    }

    if (!spot.has_end_offset())
        return Outcome::ok();

    if (!std::isfinite (spot.end_offset()))
        return Outcome::fail ("Invalid end offset: must be a finite number");

    const float start = requestedStart (spot);

    if (!(spot.end_offset() > start))
        return Outcome::fail ("Invalid end offset: must be greater than the start offset");

    if (spot.end_offset() > kMaxSeconds)
        return Outcome::fail ("Invalid end offset: must not be beyond 10000000 seconds");

    // The item's length is this single-precision difference.
    if (spot.end_offset() - start > kMaxSeconds)
        return Outcome::fail ("Invalid end offset: the item would be longer than 10000000 seconds");

    return Outcome::ok();
}
} // namespace

Outcome validateSpotCommand (const BVReaper::SpotCommand& spot)
{
    const auto times = validateTimes (spot);

    if (times.failed())
        return times;

    if (spot.has_play_rate())
    {
        if (!(std::isfinite (spot.play_rate()) && spot.play_rate() > 0.0f))
            return Outcome::fail ("Invalid play rate: must be a finite number greater than 0");

        if (spot.play_rate() < kMinPlayRate || spot.play_rate() > kMaxPlayRate)
            return Outcome::fail ("Invalid play rate: must be between 0.01 and 100");
    }

    if (spot.has_volume())
    {
        if (!(std::isfinite (spot.volume()) && spot.volume() >= 0.0f))
            return Outcome::fail ("Invalid volume: must be a finite number not below 0");

        if (spot.volume() > kMaxVolume)
            return Outcome::fail ("Invalid volume: must not be above 15.848932 (+24 dB)");
    }

    return Outcome::ok();
}

Outcome validateSpotEnd (const BVReaper::SpotCommand& spot, double cursor)
{
    if (!spot.has_end_offset())
        return Outcome::ok();

    const auto length = static_cast<double> (spot.end_offset() - requestedStart (spot));

    if (!(cursor + length <= static_cast<double> (kMaxSeconds)))
        return Outcome::fail ("Invalid end offset: the item would end beyond 10000000 seconds");

    return Outcome::ok();
}
