#include "HostCallTimer.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <type_traits>

#include <time.h>

#include "host/ReaperApi.h"

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kSlots = 39;

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

// The host API table's own declarations give each wrapper its exact signature.
#define BV_TIMED(slot, fn)                                                                          \
    {                                                                                               \
#fn, slot, reinterpret_cast < void*>(&Wrapper <decltype(reaper::fn)>::template call <slot>) \
    }

const TimedFunction timedFunctions[] = {
    BV_TIMED (0, AddMediaItemToTrack),
    BV_TIMED (1, AddTakeToMediaItem),
    BV_TIMED (2, CountSelectedMediaItems),
    BV_TIMED (3, CountTracks),
    BV_TIMED (4, EnumProjects),
    BV_TIMED (5, GetCursorPosition),
    BV_TIMED (6, GetMediaItemInfo_Value),
    BV_TIMED (7, GetMediaItemTake),
    BV_TIMED (8, GetMediaItemTake_Source),
    BV_TIMED (9, GetMediaItemTakeInfo_Value),
    BV_TIMED (10, GetMediaSourceLength),
    BV_TIMED (11, GetMediaSourceSampleRate),
    BV_TIMED (12, GetProjectPath),
    BV_TIMED (13, GetSelectedMediaItem),
    BV_TIMED (14, GetSelectedTrack),
    BV_TIMED (15, GetSet_LoopTimeRange),
    BV_TIMED (16, GetSet_LoopTimeRange2),
    BV_TIMED (17, GetSetMediaItemInfo),
    BV_TIMED (18, GetSetMediaItemTakeInfo),
    BV_TIMED (19, GetSetMediaItemTakeInfo_String),
    BV_TIMED (20, GetTrack),
    BV_TIMED (21, GetTrackMediaItem),
    BV_TIMED (22, InsertMedia),
    BV_TIMED (23, Main_OnCommand),
    BV_TIMED (24, OpenMediaExplorer),
    BV_TIMED (25, PCM_Source_CreateFromFile),
    BV_TIMED (26, SetEditCurPos),
    BV_TIMED (27, SetMediaItemInfo_Value),
    BV_TIMED (28, SetMediaItemLength),
    BV_TIMED (29, SetMediaItemPosition),
    BV_TIMED (30, SetMediaItemTake_Source),
    BV_TIMED (31, SetMediaItemTakeInfo_Value),
    BV_TIMED (32, UpdateArrange),
    BV_TIMED (33, UpdateItemInProject),
    BV_TIMED (34, UpdateTimeline),
    BV_TIMED (35, Undo_BeginBlock2),
    BV_TIMED (36, Undo_EndBlock2),
    BV_TIMED (37, PreventUIRefresh),
    BV_TIMED (38, DeleteTrackMediaItem),
};

#undef BV_TIMED

static_assert (sizeof (timedFunctions) / sizeof (timedFunctions[0]) == kSlots, "one wrapper per host function");
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
