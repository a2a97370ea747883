#pragma once

// REAPER's Register for the stand-in host.
namespace reaper_host
{
// "timer" with a void() function registers it with the current model's timers and
// answers 1; "-timer" removes it (1, or 0 when it was not registered). Other names are
// recorded and answered with 0, since the model offers nothing for them.
int registerWithHost (const char* name, void* infostruct);
} // namespace reaper_host
