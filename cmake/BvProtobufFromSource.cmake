# protobuf-lite built from its source as position-independent static code, for the
# self-contained module (BV_SELF_CONTAINED). Defines the target bv_protobuf_lite and
# BV_PROTOC, the host's protoc, which must be of the same version as the source.
#
# The source is a tarball: BV_PROTOBUF_SOURCE when given (any system), else the
# distribution's own source package, fetched once into BV_DEPS_CACHE by
# scripts/debian-packages (Debian and Ubuntu). Either way it must match BV_PROTOBUF_SHA256.
# The source is unpacked once into BV_DEPS_CACHE; the library is built once per build
# folder (one per architecture and compiler) and kept there.

set(BV_PROTOBUF_VERSION 3.21.12)
set(BV_PROTOBUF_SOURCE "" CACHE FILEPATH "protobuf ${BV_PROTOBUF_VERSION} source tarball (default: the Debian/Ubuntu source package)")
# The SHA-256 of Debian's protobuf_3.21.12.orig.tar.gz; give the one of your tarball with it.
set(BV_PROTOBUF_SHA256 "930c2c3b5ecc6c9c12615cf5ad93f1cd6e12d0aba862b572e076259970ac3a53"
  CACHE STRING "SHA-256 the protobuf source tarball must have")
set(BV_DEPS_CACHE "${PROJECT_SOURCE_DIR}/.cache/deps" CACHE PATH "Where downloaded dependency sources are kept between builds")

find_program(BV_PROTOC protoc REQUIRED)
execute_process(COMMAND "${BV_PROTOC}" --version OUTPUT_VARIABLE protoc_version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT protoc_version STREQUAL "libprotoc ${BV_PROTOBUF_VERSION}")
  message(FATAL_ERROR "${BV_PROTOC} is '${protoc_version}'; the self-contained build needs protoc ${BV_PROTOBUF_VERSION}, the version of its protobuf-lite")
endif()

set(tarball "${BV_PROTOBUF_SOURCE}")
if(NOT tarball)
  set(tarball "${BV_DEPS_CACHE}/protobuf_${BV_PROTOBUF_VERSION}.orig.tar.gz")
  if(NOT EXISTS "${tarball}")
    find_program(BV_APT_GET apt-get)
    if(NOT BV_APT_GET)
      message(FATAL_ERROR "No protobuf source: give a protobuf ${BV_PROTOBUF_VERSION} source tarball with -DBV_PROTOBUF_SOURCE=/path.tar.gz and its -DBV_PROTOBUF_SHA256=...")
    endif()
    message(STATUS "Fetching the protobuf source package with apt-get (private configuration)")
    set(fetch_dir "${BV_DEPS_CACHE}/protobuf-source-package")
    file(REMOVE_RECURSE "${fetch_dir}")
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/debian-packages" source protobuf "${fetch_dir}"
      RESULT_VARIABLE fetched)
    file(GLOB orig "${fetch_dir}/protobuf_${BV_PROTOBUF_VERSION}.orig.tar.*")
    if(NOT fetched EQUAL 0 OR NOT orig)
      message(FATAL_ERROR "Could not fetch protobuf ${BV_PROTOBUF_VERSION}'s source with apt-get; give a tarball with -DBV_PROTOBUF_SOURCE=/path.tar.gz")
    endif()
    file(RENAME "${orig}" "${tarball}")
    file(REMOVE_RECURSE "${fetch_dir}")
  endif()
endif()

file(SHA256 "${tarball}" tarball_sha256)
if(NOT tarball_sha256 STREQUAL BV_PROTOBUF_SHA256)
  message(FATAL_ERROR "${tarball} has SHA-256 ${tarball_sha256}, expected ${BV_PROTOBUF_SHA256} (BV_PROTOBUF_SHA256)")
endif()

# Unpacked at configure time, so that the headers exist for the targets that use them, once
# into BV_DEPS_CACHE for every build folder (each builds it in its own folder): nothing
# writes into the source tree. A new unpacking is made beside it and then takes its place.
set(protobuf_source "${BV_DEPS_CACHE}/protobuf-${BV_PROTOBUF_VERSION}")
set(protobuf_build "${CMAKE_BINARY_DIR}/_deps/protobuf-build")
set(unpacked_sha256 "")
if(EXISTS "${protobuf_source}/source.sha256" AND EXISTS "${protobuf_source}/src/CMakeLists.txt")
  file(READ "${protobuf_source}/source.sha256" unpacked_sha256)
endif()
if(NOT unpacked_sha256 STREQUAL tarball_sha256)
  string(RANDOM LENGTH 8 unpack_id)
  set(unpack "${protobuf_source}.unpack-${unpack_id}")
  file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${unpack}/tree")
  file(GLOB top "${unpack}/tree/*")
  list(LENGTH top top_count)
  if(NOT top_count EQUAL 1 OR NOT EXISTS "${top}/CMakeLists.txt")
    file(REMOVE_RECURSE "${unpack}")
    message(FATAL_ERROR "${tarball} is not a protobuf source tree (one folder with CMakeLists.txt)")
  endif()
  file(RENAME "${top}" "${unpack}/src")
  file(REMOVE_RECURSE "${unpack}/tree")
  file(WRITE "${unpack}/source.sha256" "${tarball_sha256}")
  file(REMOVE_RECURSE "${protobuf_source}")
  file(RENAME "${unpack}" "${protobuf_source}")
endif()

set(protobuf_library "${protobuf_build}/${CMAKE_STATIC_LIBRARY_PREFIX}protobuf-lite${CMAKE_STATIC_LIBRARY_SUFFIX}")
set(protobuf_args
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_POSITION_INDEPENDENT_CODE=ON
  "-DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS} -fvisibility=hidden -fvisibility-inlines-hidden -ffunction-sections -fdata-sections"
  "-DCMAKE_C_FLAGS=${CMAKE_C_FLAGS}"
  -Dprotobuf_BUILD_SHARED_LIBS=OFF
  -Dprotobuf_BUILD_TESTS=OFF
  -Dprotobuf_BUILD_CONFORMANCE=OFF
  -Dprotobuf_BUILD_EXAMPLES=OFF
  -Dprotobuf_BUILD_PROTOC_BINARIES=OFF
  -Dprotobuf_BUILD_LIBPROTOC=OFF
  -Dprotobuf_WITH_ZLIB=OFF
  -Dprotobuf_INSTALL=OFF)
foreach(var CMAKE_TOOLCHAIN_FILE CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_CXX_COMPILER_LAUNCHER CMAKE_OSX_ARCHITECTURES)
  if(${var})
    # A list (the compiler launcher may be one) keeps its items: "|" stands for ";" here.
    string(REPLACE ";" "|" value "${${var}}")
    list(APPEND protobuf_args "-D${var}=${value}")
  endif()
endforeach()

# Everything that links protobuf waits for it, so its files are compiled in parallel: under
# make, by a make started from the rule as $(MAKE), which takes its jobs from the outer
# build's -j; under Ninja, with a job per core.
if(CMAKE_GENERATOR MATCHES "Makefiles")
  set(protobuf_build_command "$(MAKE)" libprotobuf-lite)
else()
  cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
  set(protobuf_build_command "${CMAKE_COMMAND}" --build <BINARY_DIR> --target libprotobuf-lite --parallel ${cores})
endif()

include(ExternalProject)
ExternalProject_Add(bv_protobuf_build
  SOURCE_DIR "${protobuf_source}/src"
  BINARY_DIR "${protobuf_build}"
  LIST_SEPARATOR |
  CMAKE_ARGS ${protobuf_args}
  BUILD_COMMAND ${protobuf_build_command}
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${protobuf_library}")

add_library(bv_protobuf_lite STATIC IMPORTED GLOBAL)
set_target_properties(bv_protobuf_lite PROPERTIES
  IMPORTED_LOCATION "${protobuf_library}"
  INTERFACE_INCLUDE_DIRECTORIES "${protobuf_source}/src/src")
target_link_libraries(bv_protobuf_lite INTERFACE Threads::Threads)
add_dependencies(bv_protobuf_lite bv_protobuf_build)
