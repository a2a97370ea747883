# macOS, cross-built on Linux with Zig, which carries macOS's system headers (11 and newer,
# hence the minimum version) and its libSystem link stubs, but no frameworks. Built: the
# module, bv-client, and the stand-in REAPER (reaper-sim) for the self-test a Mac
# owner runs (scripts/macos-selftest); none of them runs here. The module is linked by
# zig/macho-module-link (BV_MODULE_LINKER_LAUNCHER), with ld64.lld and an exported-symbols
# list, then stripped and ad-hoc signed.
set(CMAKE_SYSTEM_NAME Darwin)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)

# Zig's Mach-O linker reads only archives in the BSD format that macOS's tools write.
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> --format=darwin qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> --format=darwin q <TARGET> <LINK_FLAGS> <OBJECTS>")
endforeach()

# ld64.lld 19: 14 with -dead_strip drops __eh_frame and __gcc_except_tab from arm64 slices,
# which leaves their compact-unwind entries pointing at DWARF that is not there, so nothing
# could unwind through the module on Apple silicon.
find_program(BV_LD64 NAMES ld64.lld-19 REQUIRED)
find_program(BV_MACHO_STRIP NAMES llvm-strip-14 llvm-strip REQUIRED)
set(BV_MODULE_LINKER_LAUNCHER "${BV_ZIG_WRAPPERS}/macho-module-link;${BV_LD64};${BV_MACHO_STRIP};--")
# reaper-sim runs the main queue from CoreFoundation's run loop; Zig has no framework to
# link against, so a link stub of our own names the one function it uses.
set(BV_COREFOUNDATION "${BV_ZIG_WRAPPERS}/CoreFoundation.tbd")

# Header-only packages (nlohmann-json, CLI11) come from the build machine; only they are
# visible, through a folder of links to them, so that no Linux header can stand in for a
# macOS one that is missing.
set(BV_MACOS_SHARED_ROOT "${BV_BUILD_TOOLS}/macos-header-only-root")
foreach(link usr/include/nlohmann usr/include/CLI usr/share/cmake/nlohmann_json usr/share/cmake/CLI11)
  if(NOT EXISTS "${BV_MACOS_SHARED_ROOT}/${link}" AND EXISTS "/${link}")
    get_filename_component(parent "${BV_MACOS_SHARED_ROOT}/${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "/${link}" "${BV_MACOS_SHARED_ROOT}/${link}" SYMBOLIC)
  endif()
endforeach()
set(CMAKE_FIND_ROOT_PATH "${BV_MACOS_SHARED_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
