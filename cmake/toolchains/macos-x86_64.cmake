# macOS 11 or newer on Intel, cross-built with Zig (see zig.cmake and macos.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BV_ZIG_TARGET x86_64-macos.11.0)
include(${CMAKE_CURRENT_LIST_DIR}/macos.cmake)
