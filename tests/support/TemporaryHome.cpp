#include "TemporaryHome.h"

namespace testing_support
{
std::string TemporaryHome::logFilePath() const
{
#if defined(__APPLE__)
    return file ("Library/Logs/Belvanta/Reaper.txt");
#else
    return file (".config/Belvanta/Reaper.txt");
#endif
}
} // namespace testing_support
