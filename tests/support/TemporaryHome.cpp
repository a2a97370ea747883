#include "TemporaryHome.h"

#include "LogLocation.h"

namespace testing_support
{
std::string TemporaryHome::logFilePath() const
{
    return log_location::pathUnder (path());
}
} // namespace testing_support
