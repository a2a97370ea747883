#include <ostream>

#include "OpenFailure.h"

void reportOpenFailure (PipeOpenResult opened, const std::string&, int timeoutMs, std::ostream& err)
{
    switch (opened.status)
    {
        case PipeOpenResult::Status::missing:
            err << "bv-client: the extension is not running: there is no " << opened.path
                << " (is REAPER running, with the extension in its UserPlugins folder?)\n";
            break;
        case PipeOpenResult::Status::noReader:
            err << "bv-client: " << opened.path << " is busy: " << opened.reason << " (waited " << timeoutMs
                << " ms; close some of the programs connected to it)\n";
            break;
        case PipeOpenResult::Status::denied:
            err << "bv-client: access denied opening " << opened.path
                << ": it is not open to this user, so another user's program took its name; nothing was sent\n";
            break;
        case PipeOpenResult::Status::untrusted:
        case PipeOpenResult::Status::failed:
        case PipeOpenResult::Status::open:
            err << "bv-client: cannot open " << opened.path << ": " << opened.reason << "\n";
            break;
    }
}
