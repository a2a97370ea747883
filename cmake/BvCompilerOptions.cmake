# Warnings and sanitizers for the project's own targets (third-party sources built here,
# such as protobuf's, are compiled without the warning set).

add_library(bv_warnings INTERFACE)
target_compile_options(bv_warnings INTERFACE -Wall -Wextra)

if(BV_SANITIZE)
  add_compile_options(-fsanitize=${BV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${BV_SANITIZE})
endif()

# Coverage feedback for libFuzzer from every library the fuzzers link, not only their own code.
if(BV_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "BV_BUILD_FUZZERS needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Lets the linker drop what the module never calls (most of protobuf's runtime).
if(NOT APPLE)
  add_compile_options(-ffunction-sections -fdata-sections)
endif()
