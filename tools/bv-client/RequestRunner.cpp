#include "RequestRunner.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <ostream>

#include "ClientLock.h"
#include "ExitCodes.h"
#include "OpenFailure.h"
#include "PipeClient.h"
#include "ReplyFormatter.h"
#include "ReplyKinds.h"

namespace
{
void reportLockFailure (const ClientLock::Result& locked, const std::string& path, int timeoutMs, std::ostream& err)
{
    if (locked.status == ClientLock::Result::Status::busy)
        err << "bv-client: another bv-client is talking to the extension: it held " << path << " for the whole " << timeoutMs
            << " ms; nothing was sent (try again, or give a longer --timeout)\n";
    else if (locked.status == ClientLock::Result::Status::untrusted)
        err << "bv-client: refusing the lock file " << path << ": it " << locked.reason
            << ". Nothing was sent (remove it if it is yours; otherwise another user put it there)\n";
    else
        err << "bv-client: the lock file " << path << " " << locked.reason << "; nothing was sent\n";
}

// Replies arrive in request order; each is printed as it is paired with its request.
// Replies of the wrong kind are an earlier client's, and are skipped.
class ReplyPrinter
{
public:
    ReplyPrinter (const ClientPlan& planToPrint, std::ostream& output, std::ostream& errors)
        : plan (planToPrint)
        , out (output)
        , err (errors)
    {
    }

    void expect (const PendingRequest& request)
    {
        awaiting.push_back (&request);
    }

    bool waiting() const
    {
        return !awaiting.empty();
    }

    const PendingRequest& next() const
    {
        return *awaiting.front();
    }

    enum class Offered
    {
        answered, // the awaited reply, printed
        skipped,  // another kind of reply, left over from an earlier client
        outOfStep // the same kind, but the answer to another request: no later reply can be trusted
    };

    Offered offer (const std::string& payload)
    {
        const auto& request = *awaiting.front();

        if (const auto stray = reply_kinds::strayKind (request, payload); !stray.empty())
        {
            err << "bv-client: skipped a " << stray << " reply, left over from an earlier client's request; still waiting for the "
                << reply_formatter::requestName (request) << " reply\n";
            return Offered::skipped;
        }

        // A failure naming another file is an earlier client's spot; this spot's own reply is
        // still to come, behind it, so every reply from here on would be paired wrongly.
        if (const auto other = reply_kinds::otherFileNamed (request, payload))
        {
            err << "bv-client: the reply to the spot of " << request.label << " is about another file (\"" << *other << "\")"
                << ": it answers an earlier client's request, so the replies are out of step and no later one can be paired\n";
            return Offered::outOfStep;
        }

        const auto outcome = reply_formatter::describeReply (request, payload, plan.json);
        awaiting.pop_front();
        out << outcome.text << std::endl;
        anyFailed = anyFailed || outcome.failed;
        return Offered::answered;
    }

    const std::deque<const PendingRequest*>& unanswered() const
    {
        return awaiting;
    }

    void printSent (const PendingRequest& request)
    {
        out << reply_formatter::describeSent (request, plan.json).text << std::endl;
    }

    // Takes the replies that have already arrived, without waiting; false when they are out
    // of step.
    bool takeArrived (PipeClient& pipe)
    {
        while (waiting())
        {
            const auto payload = pipe.receive (0);

            if (!payload)
                return true;

            if (offer (*payload) == Offered::outOfStep)
                return false;
        }

        return true;
    }

    bool failed() const
    {
        return anyFailed;
    }

private:
    const ClientPlan& plan;
    std::ostream& out;
    std::ostream& err;
    std::deque<const PendingRequest*> awaiting;
    bool anyFailed = false;
};

// Requests already written are in REAPER's hands: it carries them out when it gets to them,
// whether or not anyone waits for the answer.
void warnRequestsMayStillRun (const std::deque<const PendingRequest*>& unanswered, std::ostream& err)
{
    if (unanswered.empty())
        return;

    bool anySpot = false;

    for (const auto* request : unanswered)
        anySpot = anySpot || (!request->isRaw && request->message.type() == BVReaper::ClientMessage::SPOT_COMMAND);

    err << "bv-client: " << unanswered.size() << (unanswered.size() == 1 ? " request was" : " requests were")
        << " sent and not answered: REAPER may still carry them out when it gets to them";

    if (anySpot)
        err << ", so running the same spot again can place the files twice: look at the project first";

    err << "\n";
}
} // namespace

int runRequests (const ClientPlan& plan, std::ostream& out, std::ostream& err)
{
    ClientLock lock;
    const auto lockPath = ClientLock::pathFor (plan.pipeName);
    const auto locked = lock.acquire (lockPath, plan.timeoutMs);

    if (!locked.held())
    {
        reportLockFailure (locked, lockPath, plan.timeoutMs, err);
        return kExitNotRunning;
    }

    PipeClient pipe;
    if (!pipe.open (plan.pipeName, plan.timeoutMs))
    {
        reportOpenFailure (pipe.openResult(), plan.pipeName, plan.timeoutMs, err);
        return kExitNotRunning;
    }

    if (const auto discarded = pipe.discardWaiting(); discarded > 0)
        err << "bv-client: discarded " << discarded << " bytes waiting in the reply FIFO (replies to an earlier client's requests)\n";

    ReplyPrinter printer (plan, out, err);

    for (const auto& request : plan.requests)
    {
        if (!pipe.send (request.payload(), plan.timeoutMs))
        {
            err << "bv-client: could not write the " << reply_formatter::requestName (request) << " request within "
                << plan.timeoutMs << " ms (the extension stopped reading)\n";

            // Part of this one may have gone too; the extension drops a packet left unfinished.
            warnRequestsMayStillRun (printer.unanswered(), err);

            return kExitNotRunning;
        }

        if (request.expectsReply)
            printer.expect (request);
        else
            printer.printSent (request);

        // Replies are read while later requests are still being written: if writing ever
        // has to wait for the extension, the replies it has sent meanwhile must not fill
        // the reply FIFO, where its sends would run into their deadline.
        if (!printer.takeArrived (pipe))
        {
            warnRequestsMayStillRun (printer.unanswered(), err);
            return kExitNotRunning;
        }
    }

    // Skipped replies do not extend the wait for the awaited one.
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds (plan.timeoutMs);

    while (printer.waiting())
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
        const auto payload = pipe.receive (static_cast<int> (std::max<long long> (left, 0)));

        if (!payload)
        {
            err << "bv-client: no reply to the " << reply_formatter::requestName (printer.next()) << " request within "
                << plan.timeoutMs << " ms";

            if (printer.next().isRaw)
                err << " (the extension does not answer a packet it cannot parse, nor an info request; see --no-reply)";
            else
                err << " (is REAPER busy, or has the extension stopped?)";

            err << "\n";
            warnRequestsMayStillRun (printer.unanswered(), err);
            return kExitNotRunning;
        }

        const auto offered = printer.offer (*payload);

        if (offered == ReplyPrinter::Offered::outOfStep)
        {
            warnRequestsMayStillRun (printer.unanswered(), err);
            return kExitNotRunning;
        }

        if (offered == ReplyPrinter::Offered::answered)
            deadline = Clock::now() + std::chrono::milliseconds (plan.timeoutMs);
    }

    return printer.failed() ? kExitRequestFailed : kExitOk;
}
