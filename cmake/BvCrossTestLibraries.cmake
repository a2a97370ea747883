# What the stand-in host and the tests need when cross-building, for the target
# architecture:
# - libsndfile and the libraries it loads, and zlib, from the
#   distribution's packages for that architecture, unpacked (not installed) once into this
#   build folder by scripts/debian-packages, so that the system's apt and dpkg
#   configuration stay as they are; the programs link them and qemu finds them through
#   LD_LIBRARY_PATH;
# - GoogleTest, built from the sources of Debian's googletest package (tests/CMakeLists.txt).
set(BV_CROSS_DEB_ARCH arm64 CACHE STRING "Debian architecture of the cross build's packages")
set(BV_CROSS_PACKAGES
  libsndfile1 libsndfile1-dev libflac12 libflac-dev libogg0 libogg-dev libvorbis0a
  libvorbisenc2 libvorbis-dev libopus0 libopus-dev libmpg123-0 libmpg123-dev libmp3lame0
  zlib1g zlib1g-dev)
set(BV_CROSS_ROOT "${CMAKE_BINARY_DIR}/_deps/${BV_CROSS_DEB_ARCH}-root")
string(REPLACE ";" " " packages_line "${BV_CROSS_PACKAGES}")

set(unpacked_packages "")
if(EXISTS "${BV_CROSS_ROOT}/packages.txt")
  file(READ "${BV_CROSS_ROOT}/packages.txt" unpacked_packages)
endif()
if(NOT unpacked_packages STREQUAL packages_line)
  message(STATUS "Unpacking ${BV_CROSS_DEB_ARCH} packages for the stand-in host into ${BV_CROSS_ROOT}")
  file(REMOVE_RECURSE "${BV_CROSS_ROOT}")
  execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/debian-packages" unpack ${BV_CROSS_DEB_ARCH} "${BV_CROSS_ROOT}" ${BV_CROSS_PACKAGES}
    RESULT_VARIABLE unpacked)
  if(NOT unpacked EQUAL 0)
    message(FATAL_ERROR "Could not unpack the ${BV_CROSS_DEB_ARCH} packages the stand-in host and the tests need (BV_BUILD_HOST=OFF and BV_BUILD_TESTS=OFF build the module without them)")
  endif()
  file(WRITE "${BV_CROSS_ROOT}/packages.txt" "${packages_line}")
endif()

set(libdir "${BV_CROSS_ROOT}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}")
set(ENV{PKG_CONFIG_LIBDIR} "${libdir}/pkgconfig:${BV_CROSS_ROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${BV_CROSS_ROOT}")
list(APPEND CMAKE_FIND_ROOT_PATH "${BV_CROSS_ROOT}")
# zlib by name (-lz), and libsndfile's own dependencies, for the linker and at run time.
link_directories("${libdir}")
add_link_options("LINKER:-rpath-link,${libdir}")
list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -E "LD_LIBRARY_PATH=${libdir}")
