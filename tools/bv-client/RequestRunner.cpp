#include "RequestRunner.h"

#include <deque>
#include <filesystem>
#include <ostream>

#include "ExitCodes.h"
#include "PipeClient.h"
#include "ReplyFormatter.h"

namespace
{
// Says plainly why nobody is listening: no FIFOs at all, or FIFOs without a reader.
void reportNotRunning (const std::string& pipeName, int timeoutMs, std::ostream& err)
{
    const auto requestPath = "/tmp/" + pipeName + "_in";
    std::error_code ignored;

    if (!std::filesystem::exists (requestPath, ignored))
        err << "bv-client: the extension is not running: there is no " << requestPath
            << " (is REAPER running, with the extension in its UserPlugins folder?)\n";
    else
        err << "bv-client: the extension is not running: nothing reads " << requestPath << " (waited " << timeoutMs
            << " ms; REAPER may have quit without removing it, or another program holds the pipe)\n";
}

// Replies arrive in request order; each is printed as it is paired with its request.
class ReplyPrinter
{
public:
    ReplyPrinter (const ClientPlan& planToPrint, std::ostream& output)
        : plan (planToPrint)
        , out (output)
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

    void print (const std::string& payload)
    {
        const auto outcome = reply_formatter::describeReply (*awaiting.front(), payload, plan.json);
        awaiting.pop_front();
        out << outcome.text << std::endl;
        anyFailed = anyFailed || outcome.failed;
    }

    void printSent (const PendingRequest& request)
    {
        out << reply_formatter::describeSent (request, plan.json).text << std::endl;
    }

    // Takes the replies that have already arrived, without waiting.
    void takeArrived (PipeClient& pipe)
    {
        while (waiting())
        {
            const auto payload = pipe.receive (0);

            if (!payload)
                return;

            print (*payload);
        }
    }

    bool failed() const
    {
        return anyFailed;
    }

private:
    const ClientPlan& plan;
    std::ostream& out;
    std::deque<const PendingRequest*> awaiting;
    bool anyFailed = false;
};
} // namespace

int runRequests (const ClientPlan& plan, std::ostream& out, std::ostream& err)
{
    PipeClient pipe;

    if (!pipe.open (plan.pipeName, plan.timeoutMs))
    {
        reportNotRunning (plan.pipeName, plan.timeoutMs, err);
        return kExitNotRunning;
    }

    ReplyPrinter printer (plan, out);

    for (const auto& request : plan.requests)
    {
        if (!pipe.send (request.payload(), plan.timeoutMs))
        {
            err << "bv-client: could not write the " << reply_formatter::requestName (request) << " request within "
                << plan.timeoutMs << " ms (the extension stopped reading)\n";
            return kExitNotRunning;
        }

        if (request.expectsReply)
            printer.expect (request);
        else
            printer.printSent (request);

        // Replies are read while later requests are still being written: if writing ever
        // has to wait for the extension, the replies it has sent meanwhile must not fill
        // the reply FIFO, where its sends would run into their deadline.
        printer.takeArrived (pipe);
    }

    while (printer.waiting())
    {
        const auto payload = pipe.receive (plan.timeoutMs);

        if (!payload)
        {
            err << "bv-client: no reply to the " << reply_formatter::requestName (printer.next()) << " request within "
                << plan.timeoutMs << " ms";

            if (printer.next().isRaw)
                err << " (the extension does not answer a packet it cannot parse, nor an info request; see --no-reply)";
            else
                err << " (is REAPER busy, or has the extension stopped?)";

            err << "\n";
            return kExitNotRunning;
        }

        printer.print (*payload);
    }

    return printer.failed() ? kExitRequestFailed : kExitOk;
}
