// CPU cost of one request inside the extension, without the pipe: parse, dispatch, the
// handler, building and serializing the reply. Host functions are the stand-in host's.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "AudioFileWriter.h"
#include "DiscardingSender.h"
#include "FunctionTable.h"
#include "HostCallTimer.h"
#include "HostModel.h"
#include "MediaSource.h"
#include "PacketFramer.h"
#include "TempDirectory.h"
#include "api/ApiBinding.h"
#include "logging/ExtensionLog.h"
#include "reaper.pb.h"
#include "requests/RequestDispatcher.h"
#include "requests/SelectedItemReport.h"

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

// The largest request of a kind whose text (set by setText) fills it up to `bytes`.
std::string requestFilledTo (std::size_t bytes, const std::function<void (BVReaper::ClientMessage&, const std::string&)>& setText, char filler)
{
    BVReaper::ClientMessage message;

    for (auto length = bytes;; --length)
    {
        setText (message, std::string (length, filler));

        if (message.ByteSizeLong() <= bytes)
            return encode (message);
    }
}

std::string spotOf (std::size_t bytes, char filler)
{
    return requestFilledTo (
        bytes, [] (BVReaper::ClientMessage& m, const std::string& path)
        {
            m.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
            m.mutable_spot()->set_file_path (path);
            m.mutable_spot()->set_take_name ("Door slam"); },
        filler);
}

std::string spotOfLongTakeName (std::size_t bytes)
{
    return requestFilledTo (
        bytes, [] (BVReaper::ClientMessage& m, const std::string& name)
        {
            m.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
            m.mutable_spot()->set_file_path (environment().audioPath);
            m.mutable_spot()->set_take_name (name); },
        '\xFF');
}

std::string mediaExplorerOf (std::size_t bytes)
{
    return requestFilledTo (
        bytes, [] (BVReaper::ClientMessage& m, const std::string& path)
        {
            m.set_type (BVReaper::ClientMessage::OPEN_PROJECT_REQUEST);
            m.mutable_open_project()->set_path (path); },
        '\xFF');
}

double threadCpuMilliseconds()
{
    timespec now{};
    ::clock_gettime (CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double> (now.tv_sec) * 1e3 + static_cast<double> (now.tv_nsec) * 1e-6;
}

// The selected item's source named by `name` (as REAPER would report it).
void selectItemNamed (const std::string& name)
{
    auto& host = reaper_host::HostModel::current();
    auto& item = host.addItem (*host.track (0), 20, 1);
    host.setTakeSource (host.addTake (item), reaper_host::MediaSource::synthetic (name.c_str(), 48000, 2, 48000));
    host.unselectAllItems();
    host.selectItem (item);
}

// --worst: the longest round (one request handled on REAPER's main thread, its log lines and
// reply included) for the costliest request of each kind the extension accepts: the largest
// (PacketFramer::kMaxRequestSize, or the size given), its text bytes that are not UTF-8 (each
// becomes U+FFFD, three bytes, and a six-byte escape in JSON) or ASCII; and the selected-item
// report of the longest name it reports, and of one longer. Wall and CPU time of the whole
// round; the last column is the median CPU time of a round spent inside the stand-in host's
// functions (REAPER's own, in service).
int printWorstRounds (std::size_t requestBytes, int rounds)
{
    environment();
    HostCallTimer::setMeasuringCpu (true);
    const std::string longestName (SelectedItemReport::kLongestFileName, '\xFF');
    const std::string tooLongName (1000 * 1000, '\xFF');

    const struct
    {
        const char* kind;
        std::string request;
        const std::string* selectedName;
    } cases[] = {
        {"spot, path not UTF-8", spotOf (requestBytes, '\xFF'), nullptr},
        {"spot, ASCII path", spotOf (requestBytes, 'p'), nullptr},
        {"spot of a file, take name not UTF-8", spotOfLongTakeName (requestBytes), nullptr},
        {"Media Explorer, path not UTF-8", mediaExplorerOf (requestBytes), nullptr},
        {"selected item, name not UTF-8 (longest reported)", requestOfType (BVReaper::ClientMessage::SELECTED_FILE_REQUEST), &longestName},
        {"selected item, name of 1,000,000 bytes (not reported)", requestOfType (BVReaper::ClientMessage::SELECTED_FILE_REQUEST), &tooLongName},
        {"version", requestOfType (BVReaper::ClientMessage::VERSION_REQUEST), nullptr},
    };

    double load[3] = {};
    ::getloadavg (load, 3);
    std::printf ("Longest round per request, %d rounds each, load average %.2f %.2f %.2f on %ld cores\n", rounds, load[0], load[1],
                 load[2], ::sysconf (_SC_NPROCESSORS_ONLN));
    std::printf ("%-56s %9s %11s %9s %9s %13s %10s %14s\n", "request", "bytes", "reply bytes", "median ms", "max ms", "median CPU ms", "max CPU ms",
                 "of it host ms");

    for (const auto& c : cases)
    {
        std::vector<double> milliseconds, cpuMilliseconds, hostCpuMilliseconds;
        DiscardingSender replies;

        for (int round = 0; round < rounds; ++round)
        {
            if (round % kSpotsPerProject == 0)
            {
                prepareProject();

                if (c.selectedName != nullptr)
                    selectItemNamed (*c.selectedName);
            }

            // Wall time, and the thread's CPU time: on a busy machine the wall time also counts
            // the moments another process had the core.
            HostCallTimer::reset();
            const auto cpuStart = threadCpuMilliseconds();
            const auto start = Clock::now();
            handleRequest (c.request.data(), c.request.size(), replies);
            milliseconds.push_back (std::chrono::duration<double, std::milli> (Clock::now() - start).count());
            cpuMilliseconds.push_back (threadCpuMilliseconds() - cpuStart);
            hostCpuMilliseconds.push_back (static_cast<double> (HostCallTimer::cpuNanoseconds()) * 1e-6);
        }

        std::sort (milliseconds.begin(), milliseconds.end());
        std::sort (cpuMilliseconds.begin(), cpuMilliseconds.end());
        std::sort (hostCpuMilliseconds.begin(), hostCpuMilliseconds.end());
        std::printf ("%-56s %9zu %11zu %9.3f %9.3f %13.3f %10.3f %14.3f\n", c.kind, c.request.size(),
                     replies.replies > 0 ? replies.bytes / replies.replies : 0, milliseconds[milliseconds.size() / 2], milliseconds.back(),
                     cpuMilliseconds[cpuMilliseconds.size() / 2], cpuMilliseconds.back(), hostCpuMilliseconds[hostCpuMilliseconds.size() / 2]);
    }

    reaper_host::HostModel::current().reset();
    return 0;
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

// --smoke: a few repetitions of short runs, for CI. --worst [request bytes]: the table of
// printWorstRounds instead. Any other arguments go to Google Benchmark (e.g.
// --benchmark_filter=spot).
int main (int argc, char** argv)
{
    std::vector<char*> args;
    bool smoke = false;

    for (int i = 0; i < argc; ++i)
    {
        if (std::string (argv[i]) == "--smoke")
            smoke = true;
        else if (std::string (argv[i]) == "--worst")
            return printWorstRounds (i + 1 < argc ? std::strtoull (argv[i + 1], nullptr, 10) : PacketFramer::kMaxRequestSize, smoke ? 20 : 400);
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
