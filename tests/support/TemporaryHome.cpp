#include "TemporaryHome.h"

namespace testing_support
{
std::string TemporaryHome::logFilePath() const
{
// The module's log folder is its platform file's: macOS's also in the Linux build with it.
#if defined(__APPLE__) || BV_MACOS_PLATFORM_FILES
    return file ("Library/Logs/Belvanta/Reaper.txt");
#else
    return file (".config/Belvanta/Reaper.txt");
#endif
}
} // namespace testing_support
