#include "logging/KeptOpenFileLogger.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

KeptOpenFileLogger::KeptOpenFileLogger (const juce::File& file, const juce::String& welcomeMessage, juce::int64 maxInitialFileSizeBytes)
    : juce::FileLogger (file, welcomeMessage, maxInitialFileSizeBytes)
    , fd (::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_APPEND | O_CLOEXEC))
{
}

std::unique_ptr<KeptOpenFileLogger> KeptOpenFileLogger::createDefaultAppLogger (const juce::String& logFileSubDirectoryName,
                                                                                const juce::String& logFileName,
                                                                                const juce::String& welcomeMessage,
                                                                                juce::int64 maxInitialFileSizeBytes)
{
    const auto file = getSystemLogFileFolder().getChildFile (logFileSubDirectoryName).getChildFile (logFileName);
    return std::make_unique<KeptOpenFileLogger> (file, welcomeMessage, maxInitialFileSizeBytes);
}

void KeptOpenFileLogger::logMessage (const juce::String& message)
{
    const std::lock_guard<std::mutex> guard (lock);

    if (!fd.isValid())
    {
        juce::FileLogger::logMessage (message);
        return;
    }

    // One write per line, so lines from elsewhere never land inside ours (O_APPEND).
    line.assign (message.toRawUTF8());
    line += "\r\n";

    std::size_t written = 0;

    while (written < line.size())
    {
        const auto result = ::write (fd.get(), line.data() + written, line.size() - written);

        if (result > 0)
            written += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            break;
    }
}
