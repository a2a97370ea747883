#include "LogLocation.h"

namespace log_location
{
const char* folderInHome()
{
    // The home folder is already the roaming application-data folder.
    return "";
}
} // namespace log_location
