#include "ExtensionEntry.h"

#include <string>

#include "LogTexts.h"
#include "ReaperBridge.h"
#include "api/ApiBinding.h"
#include "api/ReaperApi.h"
#include "logging/Log.h"
#include "logging/StandardError.h"
#include "mainthread/MainThread.h"
#include "platform/Platform.h"

namespace
{
const char* const kHostWebAddress = "https://www.reaper.fm";

// A blocking alert with one OK button: through REAPER's own message box when the host has
// one, else the system's (standard error, which never holds the caller, where there is none).
void showIncompatibilityAlert (HostGetFunc getFunc)
{
    const std::string title = "Incompatible";
    const std::string message = std::string ("The version of the Belvanta extension you have installed is incompatible with your "
                                             "version of REAPER. You probably have a REAPER version less than v5 installed.")
                                + "\r\n" + "Please install the latest version of REAPER from " + kHostWebAddress + ".";

    bindOnDemandHostApi (getFunc);

    if (reaper::ShowMessageBox != nullptr)
        reaper::ShowMessageBox (message.c_str(), title.c_str(), 0);
    else
        platform::showAlertWithoutHost (title, message);
}

int refuse()
{
    standard_error::stop();
    return 0;
}

int load (reaper_plugin_info_t& rec)
{
    // Before the extension opens any descriptor: descriptor 2 is standard error only as it
    // is now.
    standard_error::start();

    if (rec.caller_version != kReaperPluginVersion || rec.GetFunc == nullptr)
        return refuse();

    if (bindHostApi (rec.GetFunc) != 0)
    {
        showIncompatibilityAlert (rec.GetFunc);
        return refuse();
    }

    bindOptionalHostApi (rec.GetFunc);

    // Rounds first, then the pipe: a request that comes the moment the FIFOs exist finds
    // rounds to run it (main_thread::start also runs what came before it).
    main_thread::start (rec);
    ReaperBridge::getInstance();
    return 1;
}

int unload()
{
    logging::writeToLog (log_texts::kDeletingInstance);

    // Nothing may deliver into the bridge once its destruction starts.
    main_thread::stop();

    ReaperBridge::deleteInstance();

    // The last of the extension's threads: none outlives the unload call, but a writer held
    // by standard error, which keeps the module mapped.
    standard_error::stop();
    return 0;
}
} // namespace

int handlePluginEntry (reaper_plugin_info_t* rec)
{
    return rec != nullptr ? load (*rec) : unload();
}
