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

# The suites' own code, and the stand-in host's console program and the tone writer that
# serve them, are compiled with -Og in an optimised build: about half the compile time of
# -O2, and still debuggable. The product's code they test (bv_core, the client library,
# bv-client) and the stand-in host's model and loader, which the benchmarks time, keep the
# build's flags; so do a Debug build (the sanitizers') and the programs built for the Mac
# self-test, which run there as built. Zig reads -Og as its Debug mode: -O0 with a stack
# protector and traps on undefined behaviour; both are left out (the sanitizers' build checks
# undefined behaviour), so its suites are compiled as GCC's -O0 would compile them.
macro(bv_compile_as_test_code)
  if(BV_ZIG_TARGET AND NOT APPLE)
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-Og;-fno-sanitize=undefined;-fno-stack-protector>")
  elseif(NOT APPLE)
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-Og>")
  endif()
endmacro()
