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

void CallJournal::add (JournalEntry entry)
{
    calls.push_back (std::move (entry));
}

void CallJournal::clear()
{
    calls.clear();
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
    int count = 0;

    for (const auto& call : calls)
        if (call.function == function)
            ++count;

    return count;
}
} // namespace reaper_host
