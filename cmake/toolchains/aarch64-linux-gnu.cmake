# Linux aarch64 with Debian's cross toolchain (crossbuild-essential-arm64). Programs built
# here run under qemu-user, with the cross toolchain's libraries as their root; ctest runs
# the tests that way (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)

# Libraries and headers only from the target's folders; header-only packages and CMake
# package files that are the same for every architecture are found in the host's.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# JUCE is shipped as sources; its CMake package from the host's JUCE package builds them
# for the target like any other source.
file(GLOB BV_HOST_JUCE_DIRS /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake/JUCE-7*)
if(BV_HOST_JUCE_DIRS AND NOT JUCE_DIR)
  list(GET BV_HOST_JUCE_DIRS 0 JUCE_DIR)
  set(JUCE_DIR "${JUCE_DIR}" CACHE PATH "JUCE's CMake package")
endif()
