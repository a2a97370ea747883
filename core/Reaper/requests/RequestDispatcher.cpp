#include "requests/RequestDispatcher.h"

#include "ProtocolParsing.h"
#include "logging/Log.h"
#include "requests/SelectedItemReport.h"
#include "requests/SimpleRequests.h"
#include "requests/SpotHandler.h"

void handleRequest (const void* data, std::size_t size, ReplySender& replies)
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
            simple_requests::handleInfoRequest();
            break;
        case BVReaper::ClientMessage::VERSION_REQUEST:
            simple_requests::handleVersionRequest (replies);
            break;
        case BVReaper::ClientMessage::SESSION_REQUEST:
            simple_requests::handleSessionRequest (replies);
            break;
        case BVReaper::ClientMessage::OPEN_PROJECT_REQUEST:
            simple_requests::handleOpenProjectRequest (request, replies);
            break;
        case BVReaper::ClientMessage::SELECTED_FILE_REQUEST:
            handleSelectedFileRequest (replies);
            break;
    }
}
