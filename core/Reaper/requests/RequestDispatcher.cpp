#include "requests/RequestDispatcher.h"

#include "ProtocolParsing.h"
#include "logging/Log.h"
#include "requests/SelectedItemReport.h"
#include "requests/SimpleRequests.h"
#include "requests/SpotHandler.h"

void handleRequest (const void* data, std::size_t size, ReplyChannel& replies)
{
    BVReaper::ClientMessage request;

    if (!BVReaper::parseClientMessage (data, size, request))
    {
        BV_ASSERT_FALSE();
        logging::writeToLog ("Unable to parse message");
        return;
    }

    switch (request.type())
    {
        case BVReaper::ClientMessage::SPOT_COMMAND:
            handleSpotCommand (request, replies);
            break;
        case BVReaper::ClientMessage::INFO_REQUEST:
            simple_requests::logInfoRequest();
            break;
        case BVReaper::ClientMessage::VERSION_REQUEST:
            simple_requests::replyWithVersion (replies);
            break;
        case BVReaper::ClientMessage::SESSION_REQUEST:
            simple_requests::replyWithProjectPath (replies);
            break;
        case BVReaper::ClientMessage::OPEN_PROJECT_REQUEST:
            simple_requests::showInMediaExplorer (request, replies);
            break;
        case BVReaper::ClientMessage::SELECTED_FILE_REQUEST:
            reportSelectedItem (replies);
            break;
    }
}
