# Third-party packages, all from Debian (scripts/install-deps installs them).

find_package(Threads REQUIRED)

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
