# Windows x64, cross-built with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the POSIX
# thread model, which std::thread needs). Programs built here run under wine64, which ctest
# starts them with (CMAKE_CROSSCOMPILING_EMULATOR: cmake/toolchains/wine-run).
#
# Every program and the module link the C++ runtime, libgcc and winpthread statically, so
# that they need nothing but Windows' own DLLs: REAPER silently skips a DLL that needs
# libstdc++-6.dll or libwinpthread-1.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Windows 10 is the oldest system the files are for; wide-character APIs throughout; the C
# library's thread-safe time functions (localtime_r) under their POSIX names.
string(APPEND CMAKE_C_FLAGS_INIT " -D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -DUNICODE -D_UNICODE -D_POSIX_THREAD_SAFE_FUNCTIONS")
string(APPEND CMAKE_CXX_FLAGS_INIT " -D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -DUNICODE -D_UNICODE -D_POSIX_THREAD_SAFE_FUNCTIONS")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " -static")
endforeach()

# Each build folder has its own Wine prefix, made by the first program that runs.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wine-prefix")

# Libraries and headers only from MinGW's folder. Header-only packages (nlohmann-json,
# CLI11) come from the build machine through a folder of links to them alone, so that no
# Linux header can stand in for a Windows one.
set(bv_shared_root "${CMAKE_BINARY_DIR}/_deps/header-only-root")
foreach(link usr/include/nlohmann usr/include/CLI usr/share/cmake/nlohmann_json usr/share/cmake/CLI11)
  if(NOT EXISTS "${bv_shared_root}/${link}" AND EXISTS "/${link}")
    get_filename_component(parent "${bv_shared_root}/${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "/${link}" "${bv_shared_root}/${link}" SYMBOLIC)
  endif()
endforeach()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${bv_shared_root}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config finds only MinGW's packages, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
