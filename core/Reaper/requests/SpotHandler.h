#pragma once

#include "common/Outcome.h"

#include "pipe/ReplyChannel.h"
#include "reaper.pb.h"

// Places the file of spot on REAPER's timeline: a new item with one take at the edit
// cursor, on the first selected track (else the first track), with the requested start
// offset, end point, play rate, pitch preservation, volume and take name, trimmed to the
// time selection; then moves the edit cursor to the item's end. The changes make one
// undo point and one redraw (where the host offers them). Failed with the failure text
// when the request is refused or a step fails; an item added before the failure is
// removed, and a source that no take accepted is released, before returning.
Outcome spotFile (const BVReaper::SpotCommand& spot);

// The SPOT_COMMAND request: spots request.spot(), answers with a COMMAND_RESULT that
// carries the failure text when the spot failed, and only then logs the failure.
void handleSpotCommand (const BVReaper::ClientMessage& request, ReplyChannel& replies);
