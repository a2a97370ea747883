#include "HostCallTimer.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <type_traits>

#include <time.h>

#include "api/ReaperApi.h"

namespace
{
using Clock = std::chrono::steady_clock;

// One slot per REAPER function the extension uses.
enum Slot
{
#define BV_SLOT(returnType, name, parameters) slot_##name,
    BV_REAPER_FUNCTIONS (BV_SLOT)
#undef BV_SLOT
        kSlots
};

HostGetFunc innerGetFunc = nullptr;
void* innerFunctions[kSlots] = {};
std::atomic<long long> totalNanoseconds{0};
std::atomic<long long> totalCalls{0};
std::atomic<long long> totalCpuNanoseconds{0};
std::atomic<bool> measuringCpu{false};

long long threadCpuNanoseconds()
{
    if (!measuringCpu)
        return 0;

    timespec now{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long> (now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void account (Clock::time_point start, long long cpuStart)
{
    totalNanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds> (Clock::now() - start).count();
    totalCpuNanoseconds += threadCpuNanoseconds() - cpuStart;
    ++totalCalls;
}

template <typename Fn>
struct Wrapper;

template <typename R, typename... Args>
struct Wrapper<R (*) (Args...)>
{
    template <int slot>
    static R call (Args... args)
    {
        auto* fn = reinterpret_cast<R (*) (Args...)> (innerFunctions[slot]);
        const auto cpuStart = threadCpuNanoseconds();
        const auto start = Clock::now();

        if constexpr (std::is_void_v<R>)
        {
            fn (args...);
            account (start, cpuStart);
        }
        else
        {
            R result = fn (args...);
            account (start, cpuStart);
            return result;
        }
    }
};

struct TimedFunction
{
    const char* name;
    int slot;
    void* wrapper;
};

// The function table's own declarations give each wrapper its exact signature.
#define BV_TIMED(returnType, name, parameters) \
    {#name, slot_##name, reinterpret_cast<void*> (&Wrapper<decltype (reaper::name)>::template call<slot_##name>)},

const TimedFunction timedFunctions[] = {BV_REAPER_FUNCTIONS (BV_TIMED)};

#undef BV_TIMED
} // namespace

void HostCallTimer::setInnerGetFunc (HostGetFunc inner)
{
    innerGetFunc = inner;
}

reaper_plugin_info_t HostCallTimer::wrappedRecord (const reaper_plugin_info_t& hostRecord)
{
    setInnerGetFunc (hostRecord.GetFunc);
    auto record = hostRecord;
    record.GetFunc = &getFunc;
    return record;
}

void* HostCallTimer::getFunc (const char* name)
{
    if (innerGetFunc == nullptr || name == nullptr)
        return nullptr;

    for (const auto& timed : timedFunctions)
    {
        if (std::strcmp (timed.name, name) == 0)
        {
            innerFunctions[timed.slot] = innerGetFunc (name);
            return innerFunctions[timed.slot] != nullptr ? timed.wrapper : nullptr;
        }
    }

    return innerGetFunc (name);
}

long long HostCallTimer::nanoseconds()
{
    return totalNanoseconds;
}

void HostCallTimer::setMeasuringCpu (bool measure)
{
    measuringCpu = measure;
}

long long HostCallTimer::cpuNanoseconds()
{
    return totalCpuNanoseconds;
}

long long HostCallTimer::calls()
{
    return totalCalls;
}

void HostCallTimer::reset()
{
    totalNanoseconds = 0;
    totalCpuNanoseconds = 0;
    totalCalls = 0;
}
