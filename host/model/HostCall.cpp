#include "HostCall.h"

namespace reaper_host
{
HostCall::HostCall (const char* function)
    : model (HostModel::current())
    , guard (model.lock())
{
    entry.function = function;
    entry.offMainThread = !model.isMainThread();
}

HostCall::~HostCall()
{
    model.journal().add (std::move (entry));
}

HostCall& HostCall::arg (std::string text)
{
    entry.arguments.push_back (std::move (text));
    return *this;
}

HostCall& HostCall::arg (const char* text)
{
    return arg (std::string (text));
}

HostCall& HostCall::arg (double value)
{
    return arg (journal_format::number (value));
}

HostCall& HostCall::arg (int value)
{
    return arg (std::to_string (value));
}

HostCall& HostCall::arg (bool value)
{
    return arg (journal_format::boolean (value));
}

bool HostCall::injectedFailure()
{
    if (!model.faults().shouldFail (entry.function))
        return false;

    entry.injectedFailure = true;
    return true;
}

void HostCall::invalidHandle()
{
    ++model.invalidHandleCalls;
}
} // namespace reaper_host
