#include "OpenFailure.h"

#include <ostream>

#include "FifoTrust.h"

void reportOpenFailure (PipeOpenResult opened, const std::string& pipeName, int timeoutMs, std::ostream& err)
{
    const auto requestPath = pipe_contract::requestFifoPath (pipeName);
    bool isReplyFifo = opened.path != requestPath;

    // Neither FIFO there: the usual case of REAPER not running, told by the request FIFO.
    if (opened.status == PipeOpenResult::Status::missing && isReplyFifo && fifo_trust::checkPath (requestPath).state == fifo_trust::Verdict::State::missing)
    {
        opened.path = requestPath;
        isReplyFifo = false;
    }

    const char* const role = isReplyFifo ? "the reply FIFO" : "the request FIFO";

    switch (opened.status)
    {
        case PipeOpenResult::Status::missing:
            err << "bv-client: the extension is not running: there is no " << opened.path << " (" << role << "; "
                << (isReplyFifo ? "the extension makes both FIFOs and removes them when REAPER quits" : "is REAPER running, with the extension in its UserPlugins folder?")
                << ")\n";
            break;
        case PipeOpenResult::Status::noReader:
            err << "bv-client: the extension is not running: nothing reads " << opened.path << " (waited " << timeoutMs
                << " ms; REAPER may have quit without removing it, or another program holds the pipe)\n";
            break;
        case PipeOpenResult::Status::untrusted:
            err << "bv-client: refusing " << opened.path << ": it " << opened.reason << ". Nothing was sent. "
                << "The extension's FIFOs are its user's own, mode 0600; anything else at that name may be a trap "
                   "laid by another user (remove it if it is yours, then restart REAPER)\n";
            break;
        case PipeOpenResult::Status::denied:
            err << "bv-client: permission denied opening " << opened.path << " (" << role
                << "): its owner (you) has no access to it; nothing was sent. Restart REAPER, which makes it anew\n";
            break;
        case PipeOpenResult::Status::failed:
        case PipeOpenResult::Status::open:
            err << "bv-client: cannot open " << opened.path << " (" << role << "): " << opened.reason << "\n";
            break;
    }
}
