// The built module exports ReaperPluginEntry and nothing else, so its copies of JUCE and
// protobuf never meet another extension's.

#include <sstream>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "Subprocess.h"

namespace
{
// The names of the symbols the module defines in its dynamic symbol table.
std::vector<std::string> definedDynamicSymbols (const std::string& modulePath, int& exitStatus)
{
    std::vector<std::string> names;
    const auto run = testing_support::runProgram ({BV_NM, "-D", "--defined-only", modulePath});
    std::istringstream output (run.out);
    std::string line;

    while (std::getline (output, line))
    {
        // "<address> <type> <name>"
        std::istringstream fields (line);
        std::string address, type, name;

        if (fields >> address >> type >> name)
            names.push_back (name);
        else if (line.find_first_not_of (' ') != std::string::npos)
            names.push_back ("unparsed: " + line);
    }

    exitStatus = run.exitCode;
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
