# Linux x86-64 (glibc 2.34 or newer) with the Zig compiler and libc++ that build the macOS
# module, so that the suite runs here against code compiled as it is for macOS. Not a cross
# build: the programs run on this machine, and the system's C libraries (libsndfile) and
# header-only packages are used as they are.
set(BV_ZIG_TARGET x86_64-linux-gnu.2.34)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
# Zig does not tell CMake the system's multiarch folder, where packages keep their CMake
# files (JUCE, which one test uses as the library application's client).
set(CMAKE_LIBRARY_ARCHITECTURE x86_64-linux-gnu)
# Zig searches its own C and C++ headers only; the system's (libsndfile's, the header-only
# packages') are found after them, so that none of them replaces one of Zig's.
string(APPEND CMAKE_C_FLAGS_INIT " -idirafter /usr/include")
string(APPEND CMAKE_CXX_FLAGS_INIT " -idirafter /usr/include")
# Programs find the system's libraries by name (JUCE asks for -lz); the C library itself
# stays Zig's, for glibc 2.34.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -L/usr/lib/x86_64-linux-gnu")
# Zig links shared libraries without crtbeginS.o: the module gets the unload-time call of
# its exit handlers from this file instead (see there).
set(BV_TOOLCHAIN_MODULE_SOURCES "${CMAKE_CURRENT_LIST_DIR}/zig/linux-module-finalize.c")
