#include "LogLocation.h"

#include "HomeFolder.h"
#include "LogTexts.h"

namespace log_location
{
std::string pathUnder (const std::string& home)
{
    return home + "/" + folderInHome() + "/" + log_texts::kLogFolderName + "/" + log_texts::kLogFileName;
}

std::string path()
{
    return pathUnder (home_folder::path());
}
} // namespace log_location
