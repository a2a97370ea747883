# macOS 11 or newer on Apple silicon, cross-built with Zig (see zig.cmake and macos.cmake).
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(BV_ZIG_TARGET aarch64-macos.11.0)
include(${CMAKE_CURRENT_LIST_DIR}/macos.cmake)
