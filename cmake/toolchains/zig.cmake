# Zig's bundled clang and libc++ as the compiler, for the target BV_ZIG_TARGET (set by the
# toolchain file that includes this one). scripts/install-deps --all installs the
# pinned Zig into build-tools/; the wrappers in zig/ run it with its cache in
# build-tools/zig-cache. The C++ runtime (libc++, libc++abi) is Zig's, linked statically
# into everything built here, so no library built against GCC's libstdc++ can be linked:
# protobuf-lite and GoogleTest are built from source.
get_filename_component(BV_BUILD_TOOLS "${CMAKE_CURRENT_LIST_DIR}/../../build-tools" ABSOLUTE)
if(NOT EXISTS "${BV_BUILD_TOOLS}/zig-0.11.0/zig")
  message(FATAL_ERROR "No Zig in ${BV_BUILD_TOOLS}/zig-0.11.0: run scripts/install-deps --all")
endif()

set(BV_ZIG_WRAPPERS "${CMAKE_CURRENT_LIST_DIR}/zig")
set(CMAKE_C_COMPILER "${BV_ZIG_WRAPPERS}/zig-cc")
set(CMAKE_CXX_COMPILER "${BV_ZIG_WRAPPERS}/zig-c++")
set(CMAKE_AR "${BV_ZIG_WRAPPERS}/zig-ar" CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB "${BV_ZIG_WRAPPERS}/zig-ranlib" CACHE FILEPATH "Ranlib")
# The target is on every compile and link line (so ccache tells the targets apart).
set(CMAKE_C_FLAGS_INIT "-target ${BV_ZIG_TARGET}")
set(CMAKE_CXX_FLAGS_INIT "-target ${BV_ZIG_TARGET}")
set(BV_GTEST_FROM_SOURCE ON CACHE BOOL "Build GoogleTest from source (the system's is built against libstdc++)")
