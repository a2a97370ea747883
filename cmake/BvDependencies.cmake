# Third-party packages, all from Debian (scripts/install-deps installs them).

find_package(Threads REQUIRED)
find_package(JUCE CONFIG REQUIRED)

# protobuf-lite for the schema code: bv_protobuf_lite and BV_PROTOC, the protoc that
# generates the code. The self-contained build compiles its own copy into the module; the
# development build links the system's shared library.
if(BV_SELF_CONTAINED)
  include(${CMAKE_CURRENT_LIST_DIR}/BvProtobufFromSource.cmake)
else()
  find_package(Protobuf REQUIRED)
  add_library(bv_protobuf_lite INTERFACE)
  target_link_libraries(bv_protobuf_lite INTERFACE protobuf::libprotobuf-lite)
  set(BV_PROTOC protobuf::protoc)
endif()

# JUCE's modules, compiled once into one static library that the product links.
# Linux needs only core and events; macOS also needs the GUI modules for the native
# alert box.
add_library(bv_juce STATIC)
set(BV_JUCE_MODULES juce::juce_core juce::juce_events)
if(APPLE)
  list(APPEND BV_JUCE_MODULES juce::juce_data_structures juce::juce_graphics juce::juce_gui_basics)
endif()
target_link_libraries(bv_juce PRIVATE ${BV_JUCE_MODULES})
target_compile_definitions(bv_juce PUBLIC
  JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
  JUCE_STANDALONE_APPLICATION=0
  JUCE_USE_CURL=0
  JUCE_WEB_BROWSER=0
  JUCE_LOG_ASSERTIONS=1
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_MODULE_AVAILABLE_juce_core=1
  JUCE_MODULE_AVAILABLE_juce_events=1)
if(APPLE)
  target_compile_definitions(bv_juce PUBLIC
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_MODULE_AVAILABLE_juce_data_structures=1
    JUCE_MODULE_AVAILABLE_juce_graphics=1
    JUCE_MODULE_AVAILABLE_juce_gui_basics=1)
endif()
# JUCE's modules are compiled with DEBUG in Debug builds, and JUCE refuses to link code that
# includes its headers without the same setting, so its users get it too.
target_compile_definitions(bv_juce PUBLIC "$<$<CONFIG:Debug>:DEBUG=1;_DEBUG=1>")
# JUCE asks every user of juce_core for zlib, for its GZIP streams. The module never uses
# them and the linker drops them (--gc-sections), but it would still name libz.so as
# needed, so the self-contained module (property BV_WITHOUT_ZLIB) links without zlib; if its
# code ever came to call zlib, its link would fail (--no-undefined). macOS has zlib anyway.
if(BV_SELF_CONTAINED AND NOT APPLE)
  get_target_property(BV_JUCE_CORE_LIBS juce_core INTERFACE_LINK_LIBRARIES)
  list(TRANSFORM BV_JUCE_CORE_LIBS REPLACE "^z$" "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:BV_WITHOUT_ZLIB>>>:z>")
  set_target_properties(juce_core PROPERTIES INTERFACE_LINK_LIBRARIES "${BV_JUCE_CORE_LIBS}")
endif()
get_target_property(BV_JUCE_INCLUDES juce::juce_core INTERFACE_INCLUDE_DIRECTORIES)
target_include_directories(bv_juce SYSTEM PUBLIC ${BV_JUCE_INCLUDES})
target_link_libraries(bv_juce PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  target_link_libraries(bv_juce PUBLIC rt)
endif()
