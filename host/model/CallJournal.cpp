#include "CallJournal.h"

namespace reaper_host
{
std::string JournalEntry::toString() const
{
    std::string text = function + "(";

    for (size_t i = 0; i < arguments.size(); ++i)
        text += (i == 0 ? "" : ", ") + arguments[i];

    text += ")";

    if (!result.empty())
        text += " -> " + result;

    if (injectedFailure)
        text += " [injected failure]";

    if (offMainThread)
        text += " [off main thread]";

    return text;
}

CallJournal::CallJournal (std::size_t keptCalls, std::size_t keptBytes)
    : keptCalls (keptCalls)
    , keptBytes (keptBytes)
{
}

std::size_t CallJournal::bytesOf (const JournalEntry& entry)
{
    auto size = sizeof (JournalEntry) + entry.function.size() + entry.result.size();

    for (const auto& argument : entry.arguments)
        size += sizeof (std::string) + argument.size();

    return size;
}

void CallJournal::add (JournalEntry entry)
{
    ++callsPerFunction[entry.function];
    offMainThread += entry.offMainThread ? 1 : 0;
    bytes += bytesOf (entry);
    calls.push_back (std::move (entry));

    // The newest call is always kept, whatever its size.
    while (calls.size() > 1 && (calls.size() > keptCalls || bytes > keptBytes))
    {
        bytes -= bytesOf (calls.front());
        calls.pop_front();
        ++dropped;
    }
}

void CallJournal::clear()
{
    calls.clear();
    bytes = 0;
    dropped = 0;
    callsPerFunction.clear();
    offMainThread = 0;
}

std::vector<std::string> CallJournal::lines() const
{
    std::vector<std::string> result;

    for (const auto& call : calls)
        result.push_back (call.toString());

    return result;
}

std::vector<std::string> CallJournal::functionNames() const
{
    std::vector<std::string> result;

    for (const auto& call : calls)
        result.push_back (call.function);

    return result;
}

std::vector<JournalEntry> CallJournal::callsTo (const std::string& function) const
{
    std::vector<JournalEntry> result;

    for (const auto& call : calls)
        if (call.function == function)
            result.push_back (call);

    return result;
}

int CallJournal::countOf (const std::string& function) const
{
    const auto found = callsPerFunction.find (function);
    return found == callsPerFunction.end() ? 0 : found->second;
}
} // namespace reaper_host
