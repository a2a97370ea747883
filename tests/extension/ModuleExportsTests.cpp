// The built module exports ReaperPluginEntry and nothing else, so its copies of JUCE and
// protobuf never meet another extension's.

#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"

namespace
{
// The names of the symbols the module defines in its dynamic symbol table.
std::vector<std::string> definedDynamicSymbols (const std::string& modulePath, int& exitStatus)
{
    std::vector<std::string> names;
    FILE* output = popen ((std::string (BV_NM) + " -D --defined-only '" + modulePath + "' 2>&1").c_str(), "r");

    if (output == nullptr)
    {
        exitStatus = -1;
        return names;
    }

    char line[1024];

    while (std::fgets (line, sizeof (line), output) != nullptr)
    {
        // "<address> <type> <name>"
        std::istringstream fields (line);
        std::string address, type, name;

        if (fields >> address >> type >> name)
            names.push_back (name);
        else if (fields.str().find_first_not_of (" \n") != std::string::npos)
            names.push_back ("unparsed: " + fields.str());
    }

    exitStatus = pclose (output);
    return names;
}
} // namespace

TEST (ModuleExportsTest, OnlyTheEntryPointIsExported)
{
    int status = 0;
    const auto names = definedDynamicSymbols (testing_support::ExtensionHarness::modulePath(), status);

    ASSERT_EQ (status, 0) << "nm failed";
    EXPECT_EQ (names, std::vector<std::string>{"ReaperPluginEntry"});
}

TEST (ModuleExportsTest, TheModuleIsNamedAsREAPERLooksForIt)
{
    const std::string path = testing_support::ExtensionHarness::modulePath();
    const auto name = path.substr (path.find_last_of ('/') + 1);

#if defined(__APPLE__)
    EXPECT_EQ (name, "reaper_belvanta_extension.dylib");
#else
    EXPECT_EQ (name, "reaper_belvanta_extension.so");
#endif
}
