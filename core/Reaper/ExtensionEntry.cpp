#include "ExtensionEntry.h"

#include "Platform.h"
#include "ReaperBridge.h"
#include "host/ApiBinding.h"

namespace
{
const char* const kHostWebAddress = "https://www.reaper.fm";

void showIncompatibilityAlert (HostGetFunc getFunc)
{
    const auto title = juce::translate ("Incompatible");
    const auto message = juce::translate ("The version of the Belvanta extension you have installed is incompatible with your "
                                          "version of REAPER. You probably have a REAPER version less than v5 installed.")
                         + "\r\n" + juce::translate ("Please install the latest version of REAPER from ") + kHostWebAddress + ".";

    platform::showAlert (title, message, getFunc);
}

int load (reaper_plugin_info_t& rec)
{
    if (rec.caller_version != kReaperPluginVersion || rec.GetFunc == nullptr)
        return 0;

    if (bindHostApi (rec.GetFunc) != 0)
    {
        showIncompatibilityAlert (rec.GetFunc);
        return 0;
    }

    bindOptionalHostApi (rec.GetFunc);
    ReaperBridge::getInstance();
    platform::startMessageDelivery (rec);
    return 1;
}

int unload()
{
    juce::Logger::writeToLog ("Deleting Instance");

    // Nothing may deliver into the bridge once its destruction starts.
    platform::stopMessageDelivery();

    const juce::ScopedLock lock (ReaperBridge::_singletonLock);

    if (auto* bridge = ReaperBridge::_singletonInstance)
    {
        ReaperBridge::_singletonInstance = nullptr;
        delete bridge;
    }

    return 0;
}
} // namespace

int handlePluginEntry (reaper_plugin_info_t* rec)
{
    return rec != nullptr ? load (*rec) : unload();
}
