#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace reaper_host
{
// One host call as the journal keeps it: the function, its arguments and its result,
// each already written as readable text with handles under their stable names.
struct JournalEntry
{
    std::string function;
    std::vector<std::string> arguments;
    std::string result;           // empty for functions that return nothing
    bool injectedFailure = false; // the result was forced by fault injection
    bool offMainThread = false;   // called from a thread other than the host's main thread

    // "AddTakeToMediaItem(item1) -> take1", with " [injected failure]" or
    // " [off main thread]" appended when those apply.
    std::string toString() const;
};

// The host calls the extension made, in call order: the latest of them in full, and a count
// of every call. So that a long session (or a benchmark of millions of calls, or of requests
// with megabyte paths) measures the extension and not the journal, it keeps at most
// kKeptCalls entries and kKeptBytes of their text; past either bound the oldest are dropped
// and counted. The counts (totalCount, countOf, offMainThreadCount) cover every call since
// the last clear, dropped or not.
class CallJournal
{
public:
    static constexpr std::size_t kKeptCalls = 10000;
    static constexpr std::size_t kKeptBytes = 4 * 1024 * 1024;

    explicit CallJournal (std::size_t keptCalls = kKeptCalls, std::size_t keptBytes = kKeptBytes);

    void add (JournalEntry entry);
    void clear();

    // The calls kept, oldest first.
    const std::deque<JournalEntry>& entries() const
    {
        return calls;
    }

    // Calls since the last clear, and how many of the oldest of them are no longer kept.
    std::size_t totalCount() const
    {
        return dropped + calls.size();
    }

    std::size_t droppedCount() const
    {
        return dropped;
    }

    // Each kept entry as toString() gives it.
    std::vector<std::string> lines() const;

    // Just the function names of the kept entries, in call order.
    std::vector<std::string> functionNames() const;

    // The kept entries for one function, in call order.
    std::vector<JournalEntry> callsTo (const std::string& function) const;

    // Of every call since the last clear.
    int countOf (const std::string& function) const;

    // Calls made from a thread other than the host's main thread; REAPER allows none. Of
    // every call since the last clear.
    int offMainThreadCount() const
    {
        return offMainThread;
    }

private:
    static std::size_t bytesOf (const JournalEntry& entry);

    const std::size_t keptCalls;
    const std::size_t keptBytes;
    std::deque<JournalEntry> calls;
    std::size_t bytes = 0;
    std::size_t dropped = 0;
    std::map<std::string, int> callsPerFunction;
    int offMainThread = 0;
};
} // namespace reaper_host
