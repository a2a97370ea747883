#pragma once

#include "common/Outcome.h"

#include "reaper.pb.h"

// The range of each number a spot request may carry. Values outside it are refused with a
// failure text naming the field, before anything is created, so a refused request leaves the
// project untouched.
namespace spot_limits
{
// Times in seconds: the start offset, the end offset, the item's length and the position its
// end lands on. 10^7 s is about 116 days, far beyond any project, and still exact in single
// precision.
constexpr float kMaxSeconds = 1.0e7f;

// Take volume as a factor: at most REAPER's own maximum for a take, +24 dB.
constexpr float kMaxVolume = 15.848932f;

// Play rate as a factor.
constexpr float kMinPlayRate = 0.01f;
constexpr float kMaxPlayRate = 100.0f;
} // namespace spot_limits

// Refuses spot requests whose numbers would put a zero, negative, non-numeric or absurdly
// large length, rate or volume into the user's project. Checked before REAPER is asked for
// anything. A negative start offset is allowed: it places silence before the source's start;
// so is volume 0 (silence).
Outcome validateSpotCommand (const BVReaper::SpotCommand& spot);

// Refuses a request whose item, with the length it asks for, would end beyond the time bound
// when placed at the cursor. Without an end offset the length is the source's own and is
// not checked here.
Outcome validateSpotEnd (const BVReaper::SpotCommand& spot, double cursor);
