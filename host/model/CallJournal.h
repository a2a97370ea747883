#pragma once

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

// Every host call the extension made, in call order.
class CallJournal
{
public:
    void add (JournalEntry entry);
    void clear();

    const std::vector<JournalEntry>& entries() const
    {
        return calls;
    }

    // Each entry as toString() gives it.
    std::vector<std::string> lines() const;

    // Just the function names, in call order.
    std::vector<std::string> functionNames() const;

    // The entries for one function, in call order.
    std::vector<JournalEntry> callsTo (const std::string& function) const;

    int countOf (const std::string& function) const;

    // Calls made from a thread other than the host's main thread; REAPER allows none.
    int offMainThreadCount() const;

private:
    std::vector<JournalEntry> calls;
};
} // namespace reaper_host
