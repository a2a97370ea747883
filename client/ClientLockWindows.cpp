// On Windows each client has an instance of the pipe of its own, and the extension writes a
// reply on the instance its request came in on: two clients talking at once never take each
// other's answers, so no lock is needed and none is made. Acquiring always holds.

#include "ClientLock.h"

std::string ClientLock::folder()
{
    return {};
}

std::string ClientLock::pathFor (const std::string&)
{
    return {};
}

std::string ClientLock::whyRefused (const std::string&)
{
    return {};
}

ClientLock::~ClientLock()
{
    release();
}

ClientLock::Result ClientLock::acquire (const std::string&, int)
{
    return Result{Result::Status::held, {}};
}

void ClientLock::release()
{
}
