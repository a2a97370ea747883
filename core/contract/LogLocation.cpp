#include "LogLocation.h"

#include "HomeFolder.h"
#include "LogTexts.h"

namespace log_location
{
std::string pathUnder (const std::string& home)
{
    const std::string folder = folderInHome();
    return home + "/" + (folder.empty() ? "" : folder + "/") + log_texts::kLogFolderName + "/" + log_texts::kLogFileName;
}

std::string path()
{
    return pathUnder (home_folder::path());
}
} // namespace log_location
