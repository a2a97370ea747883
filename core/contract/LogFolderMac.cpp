#include "LogLocation.h"

namespace log_location
{
const char* folderInHome()
{
    return "Library/Logs";
}
} // namespace log_location
