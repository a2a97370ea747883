#pragma once

#include <string>

// Loading a library as the system's loader does it for REAPER: dlopen on Linux and macOS
// (DynamicLibraryPosix.cpp), LoadLibraryW on Windows (DynamicLibraryWindows.cpp).
namespace reaper_host::dynamic_library
{
// How the names of the extension files a plug-ins folder holds end: ".so" (Linux, macOS,
// as the stand-in host has always taken them), ".dll" (Windows).
extern const char* const kSuffix;

// The library's handle, or null with the loader's reason in error.
void* open (const std::string& path, std::string& error);

// The exported function of that name, or null.
void* symbol (void* handle, const char* name);

void close (void* handle);

// The base address of the loaded library that holds this code address, or null.
const void* objectBaseOf (const void* address);
} // namespace reaper_host::dynamic_library
