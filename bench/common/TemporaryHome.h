#pragma once

#include <string>

// A fresh, empty home folder for the life of the object, so the extension's log goes
// there instead of the user's; HOME is put back and the folder deleted afterwards.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();

    TemporaryHome (const TemporaryHome&) = delete;
    TemporaryHome& operator= (const TemporaryHome&) = delete;

    const std::string& path() const
    {
        return folder;
    }

private:
    std::string folder;
    std::string previousHome;
    bool hadHome = false;
};
