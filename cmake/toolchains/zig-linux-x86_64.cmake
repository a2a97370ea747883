# Linux x86-64 (glibc 2.34 or newer) with the Zig compiler and libc++ that build the macOS
# module, so that the suite runs here against code compiled as it is for macOS. Not a cross
# build: the programs run on this machine, and the system's C libraries (libsndfile) and
# header-only packages are used as they are.
set(BV_ZIG_TARGET x86_64-linux-gnu.2.34)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
