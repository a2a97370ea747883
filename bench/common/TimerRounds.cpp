#include "TimerRounds.h"

TimerRounds::TimerRounds (reaper_host::MainLoop& mainLoop)
    : loop (mainLoop)
{
    loop.setRoundObserver ([this] (const reaper_host::MainLoop::Round& round)
                           {
                               rounds.push_back (std::chrono::duration<double, std::micro> (round.wall).count());
                               cpuSeconds += std::chrono::duration<double> (round.cpu).count(); });
}

TimerRounds::~TimerRounds()
{
    loop.setRoundObserver ({});
}

double TimerRounds::busySeconds() const
{
    double sum = 0;

    for (auto micros : rounds)
        sum += micros;

    return sum * 1e-6;
}
