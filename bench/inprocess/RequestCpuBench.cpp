// CPU cost of one request inside the extension, without the pipe: parse, dispatch, the
// handler, building and serializing the reply. Host functions are the stand-in host's.

#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "AudioFileWriter.h"
#include "DiscardingSender.h"
#include "FunctionTable.h"
#include "HostCallTimer.h"
#include "HostModel.h"
#include "TempDirectory.h"
#include "api/ApiBinding.h"
#include "logging/ExtensionLog.h"
#include "reaper.pb.h"
#include "requests/RequestDispatcher.h"

namespace
{
using Clock = std::chrono::steady_clock;

// Spots add an item each; the project is emptied this often so that it stays small.
constexpr int kSpotsPerProject = 200;

std::string encode (const BVReaper::ClientMessage& message)
{
    return message.SerializeAsString();
}

std::string requestOfType (BVReaper::ClientMessage::Type type)
{
    BVReaper::ClientMessage message;
    message.set_type (type);
    return encode (message);
}

// The process's scratch folder, audio file and log, made once.
struct BenchEnvironment
{
    BenchEnvironment()
    {
        // The host model is made first, so that it outlives this object at exit.
        reaper_host::HostModel::current();
        audioPath = folder.path ("door slam.wav");
        reaper_host::writeAudioFile (audioPath, reaper_host::AudioFileFormat::wav16, 48000, 2, 48000 * 3);

        // The same logger class the bridge installs, so log lines cost what they cost in REAPER.
        logger = std::make_unique<ExtensionLog> (folder.path ("Reaper.txt"), "benchmark", 131072);
        logging::setDestination (logger.get());

        HostCallTimer::setInnerGetFunc (&reaper_host::getFunc);
    }

    ~BenchEnvironment()
    {
        logging::setDestination (nullptr);
        logger.reset();
        reaper_host::HostModel::current().reset();
    }

    testing_support::TempDirectory folder{"bv-bench"};
    std::string audioPath;
    std::unique_ptr<ExtensionLog> logger;
};

BenchEnvironment& environment()
{
    static BenchEnvironment instance;
    return instance;
}

// A fresh project: two tracks, the second selected, cursor at 10 s, a time selection that
// does not trim, and one selected item whose take plays the audio file.
void prepareProject()
{
    auto& host = reaper_host::HostModel::current();
    host.reset();
    host.addTrack ("Dialogue");
    auto& effects = host.addTrack ("Effects");
    host.selectTracks ({1});
    host.setCursor (10);
    host.setTimeSelection (100, 110);
    host.setProjectPath ("/home/user/Projects/Film");

    auto& item = host.addItem (effects, 2, 3);
    auto& take = host.addTake (item, "door");
    host.setTakeSourceFromFile (take, environment().audioPath);
    host.selectItem (item);

    bindHostApi (&HostCallTimer::getFunc);
    bindOptionalHostApi (&HostCallTimer::getFunc);
    host.journal().clear();
}

void runRequests (benchmark::State& state, const std::string& request)
{
    environment();
    prepareProject();
    DiscardingSender replies;

    for (auto _ : state)
        handleRequest (request.data(), request.size(), replies);

    if (replies.replies != static_cast<std::size_t> (state.iterations()))
        state.SkipWithError ("a request was not answered");

    reaper_host::HostModel::current().reset();
}

std::string spotRequest()
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    auto* spot = message.mutable_spot();
    spot->set_file_path (environment().audioPath);
    spot->set_take_name ("Door slam");
    spot->set_start_offset (0.5f);
    spot->set_play_rate (1.0f);
    spot->set_volume (0.8f);
    return encode (message);
}

void BM_VersionRequest (benchmark::State& state)
{
    runRequests (state, requestOfType (BVReaper::ClientMessage::VERSION_REQUEST));
}

void BM_SessionRequest (benchmark::State& state)
{
    runRequests (state, requestOfType (BVReaper::ClientMessage::SESSION_REQUEST));
}

void BM_SelectedItemReport (benchmark::State& state)
{
    runRequests (state, requestOfType (BVReaper::ClientMessage::SELECTED_FILE_REQUEST));
}

// The whole spot, host functions included; the counter "host_us" is the host's part.
// With manual time, the time reported is the spot's own share: the whole minus the time
// spent inside the host's functions.
void runSpots (benchmark::State& state, bool ownShareOnly)
{
    const auto request = spotRequest();
    prepareProject();
    DiscardingSender replies;
    long long hostNanoseconds = 0;
    int spotsInProject = 0;

    for (auto _ : state)
    {
        if (spotsInProject == kSpotsPerProject)
        {
            state.PauseTiming();
            prepareProject();
            spotsInProject = 0;
            state.ResumeTiming();
        }

        HostCallTimer::reset();
        const auto start = Clock::now();
        handleRequest (request.data(), request.size(), replies);
        const auto elapsed = std::chrono::duration<double> (Clock::now() - start).count();
        const auto inHost = HostCallTimer::nanoseconds();
        hostNanoseconds += inHost;
        ++spotsInProject;

        if (ownShareOnly)
            state.SetIterationTime (elapsed - static_cast<double> (inHost) * 1e-9);
    }

    if (reaper_host::HostModel::current().itemCount() != spotsInProject + 1)
        state.SkipWithError ("a spot did not add its item");

    state.counters["host_us"] = benchmark::Counter (static_cast<double> (hostNanoseconds) * 1e-3, benchmark::Counter::kAvgIterations);
    reaper_host::HostModel::current().reset();
}

void BM_SpotWhole (benchmark::State& state)
{
    environment();
    runSpots (state, false);
}

void BM_SpotOwnShare (benchmark::State& state)
{
    environment();
    runSpots (state, true);
}

void registerAll (int repetitions, double minTime)
{
    auto configure = [&] (benchmark::internal::Benchmark* bench)
    {
        bench->Repetitions (repetitions)
            ->ReportAggregatesOnly (true)
            ->MinTime (minTime)
            ->Unit (benchmark::kMicrosecond)
            ->ComputeStatistics ("min", [] (const std::vector<double>& v)
                                 { return *std::min_element (v.begin(), v.end()); })
            ->ComputeStatistics ("max", [] (const std::vector<double>& v)
                                 { return *std::max_element (v.begin(), v.end()); });
    };

    configure (benchmark::RegisterBenchmark ("version_request", BM_VersionRequest));
    configure (benchmark::RegisterBenchmark ("session_request", BM_SessionRequest));
    configure (benchmark::RegisterBenchmark ("selected_item_report", BM_SelectedItemReport));
    configure (benchmark::RegisterBenchmark ("spot_whole", BM_SpotWhole));
    configure (benchmark::RegisterBenchmark ("spot_own_share", BM_SpotOwnShare)->UseManualTime());
}
} // namespace

// --smoke: a few repetitions of short runs, for CI. Any other arguments go to Google
// Benchmark (e.g. --benchmark_filter=spot).
int main (int argc, char** argv)
{
    std::vector<char*> args;
    bool smoke = false;

    for (int i = 0; i < argc; ++i)
    {
        if (std::string (argv[i]) == "--smoke")
            smoke = true;
        else
            args.push_back (argv[i]);
    }

    registerAll (smoke ? 3 : 25, smoke ? 0.005 : 0.1);

    int count = static_cast<int> (args.size());
    benchmark::Initialize (&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
