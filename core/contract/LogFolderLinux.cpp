#include "LogLocation.h"

namespace log_location
{
const char* folderInHome()
{
    return ".config";
}
} // namespace log_location
